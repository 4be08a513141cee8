// The frame buffer's bounds, fed the sizes a hostile frame could make a
// parser ask for, and the sticky failure that keeps a parser from acting on
// bytes past a bounds violation. Ordinary reads and writes are exercised by
// every codec test.
#include <gtest/gtest.h>

#include <functional>

#include "imc/ImcBuffer.h"
#include "imc/ImcTestBytes.h"

namespace holv {
namespace {

// Enters a span of `length`, reads `read` bytes in it and leaves it.
int Span(ImcBuffer& b, int length, int read) {
    int outer;
    return ImcBufferEnter(b, length, outer) || ImcBufferSkip(b, read) || ImcBufferLeave(b, outer) ? -1 : 0;
}

// Each case: calls on a fresh buffer of "01 02 03 04", their result, and the
// cursor after them.
TEST(ImcBuffer, BoundsOfSkipLimitSpanAndWrite) {
    struct Case {
        const char* what;
        std::function<int(ImcBuffer&)> call;
        int rc, position;
    };
    const Case cases[] = {
        {"skip to the end", [](ImcBuffer& b) { return ImcBufferSkip(b, 4); }, 0, 4},
        {"skip back past 0", [](ImcBuffer& b) { return ImcBufferSkip(b, -1); }, -1, 0},
        {"skip that would overflow", [](ImcBuffer& b) { return ImcBufferSkip(b, 0x7FFFFFFF); }, -1, 0},
        {"limit past the end", [](ImcBuffer& b) { return ImcBufferSetLimit(b, 5); }, -1, 0},
        {"limit behind the cursor", [](ImcBuffer& b) { return ImcBufferSkip(b, 3) || ImcBufferSetLimit(b, 2); }, -1, 3},
        {"span past the data", [](ImcBuffer& b) { return Span(b, 5, 0); }, -1, 0},
        {"negative span", [](ImcBuffer& b) { return Span(b, -1, 0); }, -1, 0},
        {"span read whole", [](ImcBuffer& b) { return Span(b, 2, 2); }, 0, 2},
        {"span left with a byte unread", [](ImcBuffer& b) { return Span(b, 2, 1); }, -1, 1},
        {"read past the span", [](ImcBuffer& b) { return Span(b, 2, 3); }, -1, 0},
        {"failure sticks although the read would fit",
         [](ImcBuffer& b) {
             uint8_t four[4], one;
             return ImcBufferSkip(b, 1) || !ImcBufferRead(b, four, 4) || !ImcBufferReadByte(b, one);
         },
         0, 1},
        {"a negative read", [](ImcBuffer& b) { return ImcBufferRead(b, nullptr, -1); }, -1, 0},
        {"a write in front of the start",
         [](ImcBuffer& b) { return ImcBufferSkip(b, 1) || ImcBufferWrite(b, "ab", 2); }, -1, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ImcBuffer b = test::ReadBuffer(test::Hex("01 02 03 04"));
        EXPECT_EQ(c.call(b) ? -1 : 0, c.rc);
        EXPECT_EQ(b.position, c.position);
    }
}

}  // namespace
}  // namespace holv
