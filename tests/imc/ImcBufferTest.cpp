// The frame buffer: forward reads, back-to-front writes, and the sticky
// failure that keeps a parser from acting on bytes past a bounds violation.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>

#include "imc/ImcBuffer.h"
#include "imc/ImcTestBytes.h"

namespace holv {
namespace {

using test::Hex;

TEST(ImcBuffer, WritesBackToFrontAndStopsAtTheStart) {
    ImcBuffer b;
    ASSERT_EQ(ImcBufferAllocate(b, 8), ImcErrNone);
    std::memset(b.bytes.get(), 0xAA, 8);
    b.position = 8;
    EXPECT_EQ(ImcBufferWriteByte(b, 0x01), 0);
    EXPECT_EQ(ImcBufferWrite(b, "\x02\x03", 2), 0);
    EXPECT_EQ(ImcBufferWriteU32(b, 0x04050607), 0);
    EXPECT_EQ(test::Unread(b), Hex("04 05 06 07 02 03 01"));
    // Two bytes do not fit in front of position 1; the failure then sticks.
    EXPECT_EQ(ImcBufferWrite(b, "\x08\x09", 2), -1);
    EXPECT_EQ(ImcBufferWriteByte(b, 0x0A), -1);
    EXPECT_EQ(b.position, 1);
    EXPECT_EQ(b.bytes[0], 0xAA);
    ImcBuffer n;
    ASSERT_EQ(ImcBufferAllocate(n, 2), ImcErrNone);
    n.position = 2;
    EXPECT_EQ(ImcBufferWrite(n, "x", -1), -1);
    EXPECT_EQ(n.position, 2);
}

TEST(ImcBuffer, FailedReadLeavesTheCursorAndSticksUntilReset) {
    ImcBuffer b = test::ReadBuffer(Hex("01 02 03 04 05 06 07"));
    uint8_t two[2], four[4] = {0xEE, 0xEE, 0xEE, 0xEE}, one;
    uint32_t word;
    ASSERT_EQ(ImcBufferRead(b, two, 2), 0);
    ASSERT_EQ(ImcBufferReadU32(b, word), 0);
    EXPECT_EQ(word, 0x03040506u);
    EXPECT_EQ(ImcBufferRead(b, four, 4), -1);
    EXPECT_EQ(b.position, 6);
    EXPECT_EQ(four[0], 0xEE);
    EXPECT_EQ(ImcBufferReadByte(b, one), -1);  // would fit, but the buffer failed
    ImcBufferReset(b);
    EXPECT_EQ(ImcBufferRead(b, &one, -1), -1);
    ImcBufferReset(b);
    EXPECT_EQ(ImcBufferReadByte(b, one), 0);
    EXPECT_EQ(one, 1);  // from the start again
}

// Each case: a call on a fresh buffer of "01 02 03 04", its result, and the
// cursor after it.
TEST(ImcBuffer, SkipLimitAndSpanBounds) {
    struct Case {
        const char* what;
        std::function<int(ImcBuffer&)> call;
        int rc, position;
    };
    const Case cases[] = {
        {"skip to the end", [](ImcBuffer& b) { return ImcBufferSkip(b, 4); }, 0, 4},
        {"skip back past 0", [](ImcBuffer& b) { return ImcBufferSkip(b, -1); }, -1, 0},
        {"skip past the limit", [](ImcBuffer& b) { return ImcBufferSkip(b, 5); }, -1, 0},
        {"skip that would overflow", [](ImcBuffer& b) { return ImcBufferSkip(b, 0x7FFFFFFF); }, -1, 0},
        {"limit at the end", [](ImcBuffer& b) { return ImcBufferSetLimit(b, 4); }, 0, 0},
        {"limit past the end", [](ImcBuffer& b) { return ImcBufferSetLimit(b, 5); }, -1, 0},
        {"negative limit", [](ImcBuffer& b) { return ImcBufferSetLimit(b, -1); }, -1, 0},
        {"limit behind the cursor", [](ImcBuffer& b) { return ImcBufferSkip(b, 3) || ImcBufferSetLimit(b, 2); }, -1, 3},
        {"limit at the cursor", [](ImcBuffer& b) { return ImcBufferSkip(b, 3) || ImcBufferSetLimit(b, 3); }, 0, 3},
        {"span past the data",
         [](ImcBuffer& b) {
             int o;
             return ImcBufferEnter(b, 5, o);
         },
         -1, 0},
        {"negative span",
         [](ImcBuffer& b) {
             int o;
             return ImcBufferEnter(b, -1, o);
         },
         -1, 0},
        {"span read whole",
         [](ImcBuffer& b) {
             int o;
             return ImcBufferEnter(b, 2, o) || ImcBufferSkip(b, 2) || ImcBufferLeave(b, o);
         },
         0, 2},
        {"span left with a byte unread",
         [](ImcBuffer& b) {
             int o;
             return ImcBufferEnter(b, 2, o) || ImcBufferSkip(b, 1) || ImcBufferLeave(b, o);
         },
         -1, 1},
        {"read past the span",
         [](ImcBuffer& b) {
             int o;
             uint32_t w;
             return ImcBufferEnter(b, 2, o) || ImcBufferReadU32(b, w);
         },
         -1, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ImcBuffer b = test::ReadBuffer(Hex("01 02 03 04"));
        EXPECT_EQ(c.call(b) ? -1 : 0, c.rc);
        EXPECT_EQ(b.position, c.position);
    }
}

TEST(ImcBuffer, StringReadNeedsATerminatorWithinTheLimit) {
    ImcBuffer b = test::ReadBuffer(Hex("41 42 00 00 43 00 44"));
    std::string text;
    ASSERT_EQ(ImcBufferReadString(b, text), 0);
    EXPECT_EQ(text, "AB");
    ASSERT_EQ(ImcBufferReadString(b, text), 0);
    EXPECT_EQ(text, "");
    ASSERT_EQ(ImcBufferSetLimit(b, 5), 0);  // "C" and its terminator beyond it
    EXPECT_EQ(ImcBufferReadString(b, text), -1);
    EXPECT_EQ(b.position, 4);
    ImcBuffer c = test::ReadBuffer(Hex("44"));
    EXPECT_EQ(ImcBufferReadString(c, text), -1);
}

TEST(ImcBuffer, AllocateRejectsNegativeSizes) {
    ImcBuffer b;
    EXPECT_EQ(ImcBufferAllocate(b, -1), ImcErrMalformed);
    EXPECT_EQ(b.bytes, nullptr);
    ASSERT_EQ(ImcBufferAssign(b, nullptr, 0), ImcErrNone);
    EXPECT_EQ(ImcBufferRemaining(b), 0);
}

}  // namespace
}  // namespace holv
