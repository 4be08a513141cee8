// Building requests and taking an answer's string out, within the caller's
// bounds (the program takes no other type; a wrong one is the network
// test's).
#include <gtest/gtest.h>

#include <cstring>

#include "imc/ImcMessage.h"
#include "imc/ImcOid.h"
#include "imc/ImcTags.h"
#include "imc/ImcTestBytes.h"

namespace holv {
namespace {

using test::Bytes;
using test::Text;

// The binding order and the encoding of each type are in the frames of
// ImcFrameEncodeTest; here, what the builders do with odd arguments.
TEST(ImcMessageBuild, CommunityNamesAndValuesAreBounded) {
    ImcMessage m;
    ASSERT_EQ(ImcSetCommunity(m, "admin", "secret"), ImcErrNone);
    EXPECT_EQ(m.pdu->community, "admin:secret");
    const int32_t value = -5;
    ASSERT_EQ(ImcAddVarBind(m, 0x1F000, 0x2F080, ImcTagInteger, &value, 4), ImcErrNone);  // cut to 16 bits
    EXPECT_EQ(m.varBinds->name.ids[9], 0xF000u);
    EXPECT_EQ(m.varBinds->name.ids[10], 0xF080u);
    ASSERT_EQ(ImcAddVarBind(m, 512, 641, ImcTagOctetString, "serial", 3), ImcErrNone);
    EXPECT_EQ(m.varBinds->bytes, Text("ser"));
    ASSERT_EQ(ImcAddVarBind(m, 512, 642, ImcTagInteger, nullptr, 0), ImcErrNone);
    EXPECT_EQ(m.varBinds->type, ImcTagNull);  // no value pointer
    uint32_t ids[ImcOidCapacity + 1] = {1, 3, 6};
    EXPECT_EQ(ImcAddVarBind(m, 1, 1, ImcTagOid, ids, ImcOidCapacity + 1), ImcErrMalformed);
    EXPECT_EQ(ImcAddVarBind(m, 1, 1, ImcTagOid, ids, -1), ImcErrMalformed);
    EXPECT_EQ(ImcAddVarBind(m, 1, 1, 0x44, &value, 4), ImcErrMalformed);  // a type the codec cannot carry
}

ImcMessage WithString(const Bytes& value) {
    ImcMessage m;
    ImcAddVarBind(m, 1, 1, ImcTagOctetString, value.data(), static_cast<int>(value.size()));
    return m;
}

// Each case: a 30-byte value taken into room of `capacity` bytes inside a
// guarded area, with the length in and out (-1: no length, the text is cut
// and terminated).
TEST(ImcMessageTake, StringsStayWithinTheRoomAndTheLength) {
    struct Case {
        int capacity, lengthIn, lengthOut, copied;
        bool terminated;
    };
    const Case cases[] = {
        {10, 10, 10, 10, false}, {10, 100, 10, 10, false}, {10, 4, 4, 4, false},
        {10, -4, 0, 0, false},   {40, 40, 30, 30, false},  {10, -1, -1, 9, true},
    };
    const Bytes value = Text("abcdefghijklmnopqrstuvwxyz0123");
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.capacity << "/" << c.lengthIn);
        ImcMessage m = WithString(value);
        uint8_t area[48];
        std::memset(area, 0xEE, sizeof area);
        int length = c.lengthIn;
        ASSERT_EQ(ImcTakeValue(m, ImcTagOctetString, area + 3, c.capacity,
                               c.lengthIn < -1 || c.lengthIn >= 0 ? &length : nullptr),
                  ImcErrNone);
        if (c.lengthIn != -1) EXPECT_EQ(length, c.lengthOut);
        EXPECT_EQ(Bytes(area + 3, area + 3 + c.copied), Bytes(value.begin(), value.begin() + c.copied));
        if (c.terminated) EXPECT_EQ(area[3 + c.copied], 0);
        EXPECT_EQ(Bytes(area, area + 3), Bytes(3, 0xEE));
        EXPECT_EQ(area[3 + c.capacity], 0xEE);
        EXPECT_EQ(m.varBinds, nullptr);
    }
    ImcMessage z = WithString(value);
    char text[1];
    EXPECT_EQ(ImcTakeValue(z, ImcTagOctetString, text, 0, nullptr), ImcErrEncode);
}

}  // namespace
}  // namespace holv
