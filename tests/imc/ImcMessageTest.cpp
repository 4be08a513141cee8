// Taking an answer's string out, within the caller's bounds (the program
// takes no other type; a wrong one is the network test's). The requests the
// program builds are the encoder's golden frames.
#include <gtest/gtest.h>

#include <cstring>

#include "imc/ImcMessage.h"
#include "imc/ImcTags.h"
#include "imc/ImcTestBytes.h"

namespace holv {
namespace {

using test::Bytes;
using test::Text;

ImcMessage WithString(const Bytes& value) {
    ImcMessage m;
    ImcAddVarBind(m, 1, 1, ImcTagOctetString, value.data(), static_cast<int>(value.size()));
    return m;
}

// Each case: a 30-byte value taken into room of `capacity` bytes inside a
// guarded area, with the length in and out.
TEST(ImcMessageTake, StringsStayWithinTheRoomAndTheLength) {
    struct Case {
        int capacity, lengthIn, lengthOut;
    };
    const Case cases[] = {{10, 10, 10}, {10, 100, 10}, {10, 4, 4}, {10, -4, 0}, {40, 40, 30}};
    const Bytes value = Text("abcdefghijklmnopqrstuvwxyz0123");
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.capacity << "/" << c.lengthIn);
        ImcMessage m = WithString(value);
        uint8_t area[48];
        std::memset(area, 0xEE, sizeof area);
        int length = c.lengthIn;
        ASSERT_EQ(ImcTakeValue(m, ImcTagOctetString, area + 3, c.capacity, &length), ImcErrNone);
        EXPECT_EQ(length, c.lengthOut);
        EXPECT_EQ(Bytes(area + 3, area + 3 + length), Bytes(value.begin(), value.begin() + length));
        EXPECT_EQ(Bytes(area, area + 3), Bytes(3, 0xEE));
        EXPECT_EQ(area[3 + c.capacity], 0xEE);
        EXPECT_EQ(m.varBinds, nullptr);
    }
}

}  // namespace
}  // namespace holv
