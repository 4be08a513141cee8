// Building requests and taking values out of answers.
#include <gtest/gtest.h>

#include <cstring>

#include "imc/ImcCodes.h"
#include "imc/ImcMessage.h"
#include "imc/ImcTestBytes.h"

namespace holv {
namespace {

using test::Bytes;
using test::operator+;

TEST(ImcMessageBuild, NewMessageIsAnEmptyCommandToAnyAppliance) {
    ImcMessage m;
    EXPECT_EQ(m.kind, 1);
    EXPECT_EQ(m.notification, 0);
    EXPECT_EQ(Bytes(m.mac, m.mac + 6), Bytes(6, 0xFF));
    EXPECT_EQ(m.flags, 0u);
    EXPECT_EQ(m.pdu, nullptr);
    EXPECT_EQ(m.varBinds, nullptr);
    EXPECT_EQ(m.block16, nullptr);
    EXPECT_EQ(m.block128, nullptr);
    ImcPdu p;
    EXPECT_EQ(p.type, ImcPduGetRequest);
    EXPECT_EQ(p.requestId, 0);
    EXPECT_EQ(p.errorStatus, 0);
    EXPECT_EQ(p.errorIndex, 0);
}

TEST(ImcMessageBuild, CommunityJoinsTwoTextsWithAColon) {
    ImcMessage m;
    ASSERT_EQ(ImcSetCommunity(m, "", ""), ImcErrNone);
    ASSERT_NE(m.pdu, nullptr);
    EXPECT_EQ(m.pdu->community, ":");
    EXPECT_EQ(m.pdu->type, ImcPduGetRequest);
    ASSERT_EQ(ImcSetCommunity(m, "admin", "secret"), ImcErrNone);  // replaces
    EXPECT_EQ(m.pdu->community, "admin:secret");
    ASSERT_EQ(ImcSetCommunity(m, nullptr, nullptr), ImcErrNone);
    EXPECT_EQ(m.pdu->community, ":");
}

TEST(ImcMessageBuild, PduTypeCreatesTheHeaderAndKeepsTheCommunity) {
    ImcMessage m;
    ASSERT_EQ(ImcSetPduType(m, ImcPduSetRequest), ImcErrNone);
    ASSERT_NE(m.pdu, nullptr);
    EXPECT_EQ(m.pdu->type, ImcPduSetRequest);
    ASSERT_EQ(ImcSetCommunity(m, "u", "p"), ImcErrNone);
    ASSERT_EQ(ImcSetPduType(m, ImcPduGetRequest), ImcErrNone);
    EXPECT_EQ(m.pdu->community, "u:p");
    EXPECT_EQ(m.pdu->type, ImcPduGetRequest);
}

TEST(ImcMessageBuild, BindingsGoToTheHeadWithTheirValues) {
    ImcMessage m;
    const int32_t value = -5;
    ASSERT_EQ(ImcAddVarBind(m, 0x1F000, 0x2F080, ImcTagInteger, &value, 4), ImcErrNone);  // cut to 16 bits
    ASSERT_EQ(ImcAddVarBind(m, 512, 640, ImcTagOctetString, "serial", -1), ImcErrNone);
    ASSERT_EQ(ImcAddVarBind(m, 512, 641, ImcTagOctetString, "serial", 3), ImcErrNone);
    ASSERT_EQ(ImcAddVarBind(m, 512, 642, ImcTagInteger, nullptr, 0), ImcErrNone);
    const ImcVarBind* b = m.varBinds.get();
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(b->type, ImcTagNull);  // no value pointer
    EXPECT_EQ(b->name.ids[10], 642u);
    b = b->next.get();
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(b->bytes, test::Text("ser"));
    b = b->next.get();
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(b->bytes, test::Text("serial"));
    b = b->next.get();
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(b->type, ImcTagInteger);
    EXPECT_EQ(b->number, -5);
    ASSERT_EQ(b->name.count, 12);
    const uint32_t expected[12] = {1, 3, 6, 1, 4, 1, ImcEnterpriseNumber, 8888, 1, 0xF000, 0xF080, 0};
    EXPECT_EQ(0, std::memcmp(b->name.ids, expected, sizeof expected));
    EXPECT_EQ(b->next, nullptr);
}

TEST(ImcMessageBuild, OidValuesAreBounded) {
    ImcMessage m;
    uint32_t ids[ImcOidCapacity + 1] = {1, 3, 6};
    ASSERT_EQ(ImcAddVarBind(m, 1, 1, ImcTagOid, ids, 3), ImcErrNone);
    EXPECT_EQ(m.varBinds->oid.count, 3);
    EXPECT_EQ(ImcAddVarBind(m, 1, 1, ImcTagOid, ids, ImcOidCapacity + 1), ImcErrMalformed);
    EXPECT_EQ(m.varBinds->oid.count, 0);
    EXPECT_EQ(ImcAddVarBind(m, 1, 1, ImcTagOid, ids, -1), ImcErrMalformed);
}

TEST(ImcMessageBuild, HostIdentityMembersSetTheirBits) {
    ImcMessage m;
    uint8_t b16[16], b128[128];
    std::memset(b16, 0x16, sizeof b16);
    std::memset(b128, 0x28, sizeof b128);
    ASSERT_EQ(ImcSetLocalHostName(m, "pc"), ImcErrNone);
    EXPECT_EQ(m.flags, ImcFlagLocalHostName);
    ASSERT_EQ(ImcSetBlock16(m, b16), ImcErrNone);
    EXPECT_EQ(m.flags, ImcFlagLocalHostName | ImcFlagBlock16);
    ASSERT_EQ(ImcSetBlock128(m, b128), ImcErrNone);
    EXPECT_EQ(m.flags, 0x70000u);
    EXPECT_EQ(m.localHostName, "pc");
    EXPECT_EQ((*m.block16)[15], 0x16);
    EXPECT_EQ((*m.block128)[127], 0x28);

    ImcMessage n;  // absent arguments change nothing
    EXPECT_EQ(ImcSetLocalHostName(n, nullptr), ImcErrNone);
    EXPECT_EQ(ImcSetBlock16(n, nullptr), ImcErrNone);
    EXPECT_EQ(ImcSetBlock128(n, nullptr), ImcErrNone);
    EXPECT_EQ(n.flags, 0u);
    EXPECT_EQ(n.block16, nullptr);
}

// ---- Taking values out

ImcMessage WithString(const Bytes& value) {
    ImcMessage m;
    ImcAddVarBind(m, 1, 1, ImcTagOctetString, value.data(), static_cast<int>(value.size()));
    return m;
}

TEST(ImcMessageTake, EmptyListIsMalformed) {
    ImcMessage m;
    int32_t v = 3;
    EXPECT_EQ(ImcTakeValue(m, 0, &v, 4, nullptr), ImcErrMalformed);
    EXPECT_EQ(v, 3);
}

TEST(ImcMessageTake, StringWithLengthCopiesAtMostTheLength) {
    Bytes value(30, 0);
    for (int i = 0; i < 30; ++i) value[static_cast<size_t>(i)] = static_cast<uint8_t>('a' + i % 26);
    ImcMessage m = WithString(value);
    // Guard bytes on both sides of the 10 that may be written.
    uint8_t area[16];
    std::memset(area, 0xEE, sizeof area);
    int length = 10;
    ASSERT_EQ(ImcTakeValue(m, ImcTagOctetString, area + 3, 10, &length), ImcErrNone);
    EXPECT_EQ(length, 10);
    EXPECT_EQ(Bytes(area + 3, area + 13), Bytes(value.begin(), value.begin() + 10));
    EXPECT_EQ(Bytes(area, area + 3), Bytes(3, 0xEE));
    EXPECT_EQ(Bytes(area + 13, area + 16), Bytes(3, 0xEE));  // no terminator added
    EXPECT_EQ(m.varBinds, nullptr);
}

TEST(ImcMessageTake, StringShorterThanTheRoom) {
    ImcMessage m = WithString(test::Text("abc"));
    uint8_t area[8];
    std::memset(area, 0xEE, sizeof area);
    int length = 8;
    ASSERT_EQ(ImcTakeValue(m, 0, area, 8, &length), ImcErrNone);
    EXPECT_EQ(length, 3);
    EXPECT_EQ(area[3], 0xEE);
}

TEST(ImcMessageTake, LengthNeverExceedsTheCapacity) {
    ImcMessage m = WithString(Bytes(30, 'x'));
    uint8_t area[12];
    std::memset(area, 0xEE, sizeof area);
    int length = 100;  // more than the destination holds
    ASSERT_EQ(ImcTakeValue(m, ImcTagOctetString, area, 10, &length), ImcErrNone);
    EXPECT_EQ(length, 10);
    EXPECT_EQ(area[10], 0xEE);
    ImcMessage n = WithString(Bytes(30, 'x'));
    length = -4;
    ASSERT_EQ(ImcTakeValue(n, ImcTagOctetString, area, 10, &length), ImcErrNone);
    EXPECT_EQ(length, 0);
}

TEST(ImcMessageTake, StringWithoutLengthIsCutAndTerminated) {
    ImcMessage m = WithString(test::Text("abcdef"));
    char text[5];
    std::memset(text, 0x7E, sizeof text);
    ASSERT_EQ(ImcTakeValue(m, ImcTagOctetString, text, 4, nullptr), ImcErrNone);
    EXPECT_STREQ(text, "abc");
    EXPECT_EQ(text[4], 0x7E);
    ImcMessage n = WithString(test::Text("ab"));
    ASSERT_EQ(ImcTakeValue(n, ImcTagOctetString, text, 5, nullptr), ImcErrNone);
    EXPECT_STREQ(text, "ab");
    ImcMessage z = WithString(test::Text("ab"));
    EXPECT_EQ(ImcTakeValue(z, ImcTagOctetString, text, 0, nullptr), ImcErrEncode);
}

TEST(ImcMessageTake, WrongTypeIsMalformedAndTheBindingGone) {
    ImcMessage m;
    const int32_t v = 9;
    ImcAddVarBind(m, 1, 2, ImcTagOctetString, "second", -1);
    ImcAddVarBind(m, 1, 1, ImcTagInteger, &v, 4);
    char text[16] = "untouched";
    int length = 16;
    EXPECT_EQ(ImcTakeValue(m, ImcTagOctetString, text, 16, &length), ImcErrMalformed);
    EXPECT_STREQ(text, "untouched");
    EXPECT_EQ(length, 16);
    // The list keeps the rest.
    ASSERT_EQ(ImcTakeValue(m, ImcTagOctetString, text, 16, &length), ImcErrNone);
    EXPECT_EQ(length, 6);
    EXPECT_EQ(m.varBinds, nullptr);
}

TEST(ImcMessageTake, IntegersAddressesNullAndOids) {
    ImcMessage m;
    const int32_t v = -7;
    const uint8_t ip[4] = {10, 0, 0, 1};
    const uint32_t ids[4] = {1, 3, 6, 1};
    ImcAddVarBind(m, 1, 5, ImcTagOid, ids, 4);
    ImcAddVarBind(m, 1, 4, ImcTagOid, ids, 4);
    ImcAddVarBind(m, 1, 3, ImcTagNull, nullptr, 0);
    ImcAddVarBind(m, 1, 2, ImcTagIpAddress, ip, 4);
    ImcAddVarBind(m, 1, 1, ImcTagTimeTicks, &v, 4);

    int32_t number = 0;
    ASSERT_EQ(ImcTakeValue(m, ImcTagTimeTicks, &number, 4, nullptr), ImcErrNone);
    EXPECT_EQ(number, -7);
    uint8_t address[4] = {};
    ASSERT_EQ(ImcTakeValue(m, ImcTagIpAddress, address, 4, nullptr), ImcErrNone);
    EXPECT_EQ(Bytes(address, address + 4), Bytes(ip, ip + 4));  // network order kept
    ASSERT_EQ(ImcTakeValue(m, ImcTagNull, &number, 4, nullptr), ImcErrNone);
    EXPECT_EQ(number, -7);

    uint32_t out[5] = {0, 0, 0, 0, 0xEEEEEEEE};
    int count = 3;  // room for fewer than the OID has
    EXPECT_EQ(ImcTakeValue(m, ImcTagOid, out, sizeof out, &count), ImcErrEncode);
    EXPECT_EQ(out[0], 0u);
    count = 5;
    ASSERT_EQ(ImcTakeValue(m, ImcTagOid, out, sizeof out, &count), ImcErrNone);
    EXPECT_EQ(count, 4);
    EXPECT_EQ(out[3], 1u);
    EXPECT_EQ(out[4], 0xEEEEEEEEu);
    EXPECT_EQ(m.varBinds, nullptr);
}

TEST(ImcMessageTake, SmallDestinationsAndNoDestination) {
    ImcMessage m;
    const int32_t v = 1;
    const uint32_t ids[4] = {1, 3, 6, 1};
    ImcAddVarBind(m, 1, 3, ImcTagOid, ids, 4);
    ImcAddVarBind(m, 1, 2, ImcTagInteger, &v, 4);
    ImcAddVarBind(m, 1, 1, ImcTagInteger, &v, 4);
    ASSERT_EQ(ImcTakeValue(m, ImcTagInteger, nullptr, 0, nullptr), ImcErrNone);  // dropped, not copied
    uint8_t two[2] = {0xEE, 0xEE};
    EXPECT_EQ(ImcTakeValue(m, ImcTagInteger, two, 2, nullptr), ImcErrEncode);
    EXPECT_EQ(two[0], 0xEE);
    uint32_t out[3];
    EXPECT_EQ(ImcTakeValue(m, ImcTagOid, out, sizeof out, nullptr), ImcErrEncode);  // capacity too small
    EXPECT_EQ(m.varBinds, nullptr);
}

}  // namespace
}  // namespace holv
