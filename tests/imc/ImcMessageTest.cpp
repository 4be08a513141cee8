// Building requests and taking values out of answers, within the caller's
// bounds.
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

TEST(ImcMessageBuild, CommunityPduTypeAndBindings) {
    ImcMessage m;
    ASSERT_EQ(ImcSetPduType(m, ImcPduSetRequest), ImcErrNone);
    ASSERT_EQ(ImcSetCommunity(m, "admin", "secret"), ImcErrNone);
    EXPECT_EQ(m.pdu->community, "admin:secret");
    ASSERT_EQ(ImcSetCommunity(m, nullptr, nullptr), ImcErrNone);  // replaces
    EXPECT_EQ(m.pdu->community, ":");
    EXPECT_EQ(m.pdu->type, ImcPduSetRequest);
    const int32_t value = -5;
    ASSERT_EQ(ImcAddVarBind(m, 0x1F000, 0x2F080, ImcTagInteger, &value, 4), ImcErrNone);  // cut to 16 bits
    ASSERT_EQ(ImcAddVarBind(m, 512, 640, ImcTagOctetString, "serial", -1), ImcErrNone);
    ASSERT_EQ(ImcAddVarBind(m, 512, 641, ImcTagOctetString, "serial", 3), ImcErrNone);
    ASSERT_EQ(ImcAddVarBind(m, 512, 642, ImcTagInteger, nullptr, 0), ImcErrNone);
    // Newest first.
    const ImcVarBind* b = m.varBinds.get();
    EXPECT_EQ(b->type, ImcTagNull);  // no value pointer
    EXPECT_EQ(b->name.ids[10], 642u);
    EXPECT_EQ((b = b->next.get())->bytes, Text("ser"));
    EXPECT_EQ((b = b->next.get())->bytes, Text("serial"));
    b = b->next.get();
    EXPECT_EQ(b->number, -5);
    const uint32_t expected[12] = {1, 3, 6, 1, 4, 1, ImcEnterpriseNumber, 8888, 1, 0xF000, 0xF080, 0};
    ASSERT_EQ(b->name.count, 12);
    EXPECT_EQ(0, std::memcmp(b->name.ids, expected, sizeof expected));
    EXPECT_EQ(b->next, nullptr);
    uint32_t ids[ImcOidCapacity + 1] = {1, 3, 6};
    EXPECT_EQ(ImcAddVarBind(m, 1, 1, ImcTagOid, ids, ImcOidCapacity + 1), ImcErrMalformed);
    EXPECT_EQ(ImcAddVarBind(m, 1, 1, ImcTagOid, ids, -1), ImcErrMalformed);
    EXPECT_EQ(ImcAddVarBind(m, 1, 1, 0x44, &value, 4), ImcErrMalformed);  // a type the codec cannot carry
}

TEST(ImcMessageBuild, HostIdentityMembersSetTheirBits) {
    ImcMessage m;
    uint8_t b16[16], b128[128];
    std::memset(b16, 0x16, sizeof b16);
    std::memset(b128, 0x28, sizeof b128);
    ASSERT_EQ(ImcSetLocalHostName(m, "pc"), ImcErrNone);
    ASSERT_EQ(ImcSetBlock16(m, b16), ImcErrNone);
    EXPECT_EQ(m.flags, ImcFlagLocalHostName | ImcFlagBlock16);
    ASSERT_EQ(ImcSetBlock128(m, b128), ImcErrNone);
    EXPECT_EQ(m.flags, 0x70000u);
    EXPECT_EQ((*m.block128)[127], 0x28);
    ImcMessage n;  // absent arguments change nothing
    EXPECT_EQ(ImcSetLocalHostName(n, nullptr) | ImcSetBlock16(n, nullptr) | ImcSetBlock128(n, nullptr), ImcErrNone);
    EXPECT_EQ(n.flags, 0u);
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

TEST(ImcMessageTake, TypesRoomAndTheListOrder) {
    ImcMessage m;
    const int32_t v = -7;
    const uint8_t ip[4] = {10, 0, 0, 1};
    const uint32_t ids[4] = {1, 3, 6, 1};
    ImcAddVarBind(m, 1, 7, ImcTagOid, ids, 4);
    ImcAddVarBind(m, 1, 6, ImcTagOid, ids, 4);
    ImcAddVarBind(m, 1, 5, ImcTagInteger, &v, 4);
    ImcAddVarBind(m, 1, 4, ImcTagNull, nullptr, 0);
    ImcAddVarBind(m, 1, 3, ImcTagIpAddress, ip, 4);
    ImcAddVarBind(m, 1, 2, ImcTagTimeTicks, &v, 4);
    ImcAddVarBind(m, 1, 1, ImcTagOctetString, "x", 1);
    int32_t number = 0;
    int length = 16;
    char text[16] = "untouched";
    EXPECT_EQ(ImcTakeValue(m, ImcTagInteger, &number, 4, nullptr), ImcErrMalformed);  // wrong type: dropped
    ASSERT_EQ(ImcTakeValue(m, ImcTagTimeTicks, &number, 4, nullptr), ImcErrNone);
    EXPECT_EQ(number, -7);
    uint8_t address[4] = {};
    ASSERT_EQ(ImcTakeValue(m, ImcTagIpAddress, address, 4, nullptr), ImcErrNone);
    EXPECT_EQ(Bytes(address, address + 4), Bytes(ip, ip + 4));  // network order kept
    EXPECT_EQ(ImcTakeValue(m, ImcTagOctetString, text, 16, &length), ImcErrMalformed);
    EXPECT_STREQ(text, "untouched");
    EXPECT_EQ(length, 16);
    uint8_t two[2] = {0xEE, 0xEE};
    EXPECT_EQ(ImcTakeValue(m, ImcTagInteger, two, 2, nullptr), ImcErrEncode);  // room too small
    EXPECT_EQ(two[0], 0xEE);
    uint32_t out[5] = {0, 0, 0, 0, 0xEEEEEEEE};
    int count = 3;  // room for fewer than the OID has
    EXPECT_EQ(ImcTakeValue(m, ImcTagOid, out, sizeof out, &count), ImcErrEncode);
    EXPECT_EQ(out[0], 0u);
    count = 5;
    ASSERT_EQ(ImcTakeValue(m, ImcTagOid, out, sizeof out, &count), ImcErrNone);
    EXPECT_EQ(count, 4);
    EXPECT_EQ(out[4], 0xEEEEEEEEu);
    EXPECT_EQ(m.varBinds, nullptr);
    EXPECT_EQ(ImcTakeValue(m, 0, &number, 4, nullptr), ImcErrMalformed);  // empty list
}

}  // namespace
}  // namespace holv
