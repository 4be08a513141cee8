// Every kind of message survives encoding and decoding unchanged, and a
// decoded frame encodes back to the same bytes.
#include <gtest/gtest.h>

#include <cstring>

#include "imc/ImcCodes.h"
#include "imc/ImcFrame.h"
#include "imc/ImcMessage.h"
#include "imc/ImcTestBytes.h"

namespace holv {
namespace {

using test::Bytes;
using test::operator+;

const uint8_t kMac[6] = {0x08, 0x00, 0x27, 0xAB, 0xCD, 0xEF};

void ExpectSameOid(const ImcOid& a, const ImcOid& b) {
    ASSERT_EQ(a.count, b.count);
    for (int i = 0; i < a.count; ++i) EXPECT_EQ(a.ids[i], b.ids[i]) << i;
}

void ExpectSameBinding(const ImcVarBind& a, const ImcVarBind& b) {
    ExpectSameOid(a.name, b.name);
    ASSERT_EQ(a.type, b.type);
    if (ImcIsIntegerType(a.type)) {
        EXPECT_EQ(a.number, b.number);
    }
    if (a.type == ImcTagIpAddress) {
        EXPECT_EQ(0, std::memcmp(a.address, b.address, 4));
    }
    if (a.type == ImcTagOctetString) {
        EXPECT_EQ(a.bytes, b.bytes);
    }
    if (a.type == ImcTagOid) {
        ExpectSameOid(a.oid, b.oid);
    }
}

// Compares what the frame carries: the fields of the bits that are set.
void ExpectSameMessage(const ImcMessage& a, const ImcMessage& b) {
    EXPECT_EQ(a.kind, b.kind);
    EXPECT_EQ(a.notification, b.notification);
    EXPECT_EQ(0, std::memcmp(a.mac, b.mac, 6));
    ASSERT_EQ(a.flags, b.flags);
    const uint32_t f = a.flags;
    const bool supplied = a.kind == 0 || (f & ImcFlagSupplied);
    if (supplied && (f & ImcFlagRaw04)) {
        EXPECT_EQ(0, std::memcmp(a.raw04, b.raw04, 4));
    }
    if (supplied && (f & ImcFlagRaw08)) {
        EXPECT_EQ(0, std::memcmp(a.raw08, b.raw08, 4));
    }
    if (supplied && (f & ImcFlagRaw10)) {
        EXPECT_EQ(0, std::memcmp(a.raw10, b.raw10, 4));
    }
    if (supplied && (f & ImcFlagValue20)) {
        EXPECT_EQ(a.value20, b.value20);
    }
    if (supplied && (f & ImcFlagDeviceName)) {
        EXPECT_EQ(a.deviceName, b.deviceName);
    }
    if (a.kind == 0) {
        EXPECT_EQ(a.text40, b.text40);
        EXPECT_EQ(a.productName, b.productName);
        EXPECT_EQ(a.firmware, b.firmware);
        EXPECT_EQ(a.text400, b.text400);
    }
    EXPECT_EQ(a.localHostName, b.localHostName);
    ASSERT_EQ(a.block16 != nullptr, b.block16 != nullptr);
    if (a.block16) {
        EXPECT_EQ(*a.block16, *b.block16);
    }
    ASSERT_EQ(a.block128 != nullptr, b.block128 != nullptr);
    if (a.block128) {
        EXPECT_EQ(*a.block128, *b.block128);
    }
    ASSERT_EQ(a.pdu != nullptr, b.pdu != nullptr);
    if (a.pdu) {
        EXPECT_EQ(a.pdu->type, b.pdu->type);
        EXPECT_EQ(a.pdu->community, b.pdu->community);
        EXPECT_EQ(a.pdu->requestId, b.pdu->requestId);
        EXPECT_EQ(a.pdu->errorStatus, b.pdu->errorStatus);
        EXPECT_EQ(a.pdu->errorIndex, b.pdu->errorIndex);
    }
    const ImcVarBind* x = a.varBinds.get();
    const ImcVarBind* y = b.varBinds.get();
    for (; x && y; x = x->next.get(), y = y->next.get()) ExpectSameBinding(*x, *y);
    EXPECT_EQ(x, nullptr);
    EXPECT_EQ(y, nullptr);
}

// Encodes, decodes, compares, and encodes the decoded message again.
void RoundTrip(ImcMessage& m) {
    int rc = -1;
    const Bytes frame = test::Encode(m, &rc);
    ASSERT_EQ(rc, ImcErrNone);
    std::unique_ptr<ImcMessage> back;
    ASSERT_EQ(test::Decode(frame, back), ImcErrNone);
    ExpectSameMessage(m, *back);
    EXPECT_EQ(test::Encode(*back), frame);
}

ImcMessage Command(uint32_t flags) {
    ImcMessage m;
    std::memcpy(m.mac, kMac, 6);
    m.flags = flags;
    return m;
}

ImcMessage Reply(uint32_t flags, int notification = 0) {
    ImcMessage m = Command(flags);
    m.kind = 0;
    m.notification = notification;
    return m;
}

TEST(ImcRoundTrip, FieldCommands) {
    ImcMessage query = Command(0x380 | ImcFlagLongWait);
    RoundTrip(query);
    ImcMessage shutdown = Command(ImcFlagSupplied);
    RoundTrip(shutdown);
    ImcMessage supplied = Command(ImcFlagSupplied | 0xBC);
    std::memcpy(supplied.raw04, "abcd", 4);
    std::memcpy(supplied.raw08, "efgh", 4);
    std::memcpy(supplied.raw10, "ijkl", 4);
    supplied.value20 = 0xDEADBEEF;
    supplied.deviceName = "appliance";
    RoundTrip(supplied);
}

TEST(ImcRoundTrip, HostIdentity) {
    ImcMessage m = Command(0);
    uint8_t b16[16], b128[128];
    for (int i = 0; i < 128; ++i) b128[i] = static_cast<uint8_t>(255 - i);
    std::memset(b16, 0x5A, sizeof b16);
    ImcSetLocalHostName(m, "WORKSTATION-7");
    ImcSetBlock16(m, b16);
    ImcSetBlock128(m, b128);
    m.flags |= ImcFlagTime;
    RoundTrip(m);
    ImcSetCommunity(m, "", "");
    ImcAddVarBind(m, 34816, 800, ImcTagNull, nullptr, 0);
    RoundTrip(m);
}

TEST(ImcRoundTrip, StatusReplyAndNotification) {
    ImcMessage r = Reply(0x380 | ImcFlagLongWait | ImcFlagBlock16 | ImcFlagHostOptions);
    r.deviceName = "rk";
    r.productName = "Holvenstead Appliance";
    r.firmware = "6.0.0.15432";
    RoundTrip(r);
    ImcMessage n = Reply(0, 1);
    RoundTrip(n);
    ImcMessage full = Reply(0x7FC | ImcFlagLocalHostName | ImcFlagBlock128, 1);
    std::memcpy(full.raw04, "1234", 4);
    full.value20 = 7;
    full.text40 = "forty";
    full.text400 = "four hundred";
    full.localHostName = "pc";
    full.block16.reset(new ImcBlock16{});
    (*full.block16)[0] = 1;
    full.block128.reset(new ImcBlock128{});
    (*full.block128)[127] = 2;
    RoundTrip(full);
}

TEST(ImcRoundTrip, GetRequestsAndResponses) {
    ImcMessage get = Command(ImcFlagLongWait);
    ImcSetCommunity(get, "", "");
    ImcAddVarBind(get, 0xF000, 0xF080, ImcTagNull, nullptr, 0);
    get.pdu->requestId = 0x7FFFFFFF;
    RoundTrip(get);

    ImcMessage response = Reply(ImcFlagLongWait);
    ImcSetCommunity(response, "", "");
    ImcSetPduType(response, ImcPduGetResponse);
    const Bytes text(512, 'r');
    ImcAddVarBind(response, 0xF000, 0xF080, ImcTagOctetString, text.data(), 512);
    response.pdu->requestId = 1;
    RoundTrip(response);

    ImcMessage refused = Reply(0);
    ImcSetCommunity(refused, "user", "pass");
    ImcSetPduType(refused, ImcPduGetResponse);
    ImcAddVarBind(refused, 512, 640, ImcTagNull, nullptr, 0);
    refused.pdu->errorStatus = 2;
    refused.pdu->errorIndex = 1;
    refused.pdu->requestId = -3;
    RoundTrip(refused);
}

TEST(ImcRoundTrip, SetRequestsOfEveryValueType) {
    const int32_t values[] = {0, 1, -1, 127, 128, -129, 200, INT32_MAX, INT32_MIN};
    for (uint8_t type : {ImcTagBoolean, ImcTagInteger, ImcTagEnumerated, ImcTagCounter, ImcTagGauge,
                         ImcTagTimeTicks, ImcTagApplication16}) {
        for (int32_t v : values) {
            SCOPED_TRACE(testing::Message() << int{type} << " " << v);
            ImcMessage m = Command(0);
            ImcSetCommunity(m, "", "");
            ImcSetPduType(m, ImcPduSetRequest);
            ImcAddVarBind(m, 0xF000, 0xF090, type, &v, 4);
            RoundTrip(m);
        }
    }
    const uint8_t ip[4] = {172, 16, 0, 1};
    const uint32_t ids[ImcOidCapacity] = {1, 3, 6, 1, 4, 1, 0xFFFFFFFF, 0, 127, 128, 16383, 16384};
    ImcMessage a = Command(0);
    ImcSetCommunity(a, "", "");
    ImcSetPduType(a, 0xF1);
    ImcAddVarBind(a, 1, 2, ImcTagIpAddress, ip, 4);
    RoundTrip(a);
    ImcMessage o = Command(0);
    ImcSetCommunity(o, "", "");
    ImcAddVarBind(o, 1, 2, ImcTagOid, ids, ImcOidCapacity);
    RoundTrip(o);
    ImcMessage s = Command(0);
    ImcSetCommunity(s, "", "");
    ImcAddVarBind(s, 1, 2, ImcTagOctetString, "", 0);
    RoundTrip(s);
}

TEST(ImcRoundTrip, SeveralBindingsComeBackInWireOrder) {
    ImcMessage m = Command(0);
    ImcSetCommunity(m, "", "");
    const int32_t one = 1, two = 2;
    ImcAddVarBind(m, 1, 1, ImcTagInteger, &one, 4);
    ImcAddVarBind(m, 1, 2, ImcTagInteger, &two, 4);
    const Bytes frame = test::Encode(m);
    std::unique_ptr<ImcMessage> back;
    ASSERT_EQ(test::Decode(frame, back), ImcErrNone);
    // Added 1 then 2, so the wire holds 1 then 2, and the decoded list too:
    // the first binding taken out is the first added.
    int32_t v = 0;
    ASSERT_EQ(ImcTakeValue(*back, ImcTagInteger, &v, 4, nullptr), ImcErrNone);
    EXPECT_EQ(v, 1);
    ASSERT_EQ(ImcTakeValue(*back, ImcTagInteger, &v, 4, nullptr), ImcErrNone);
    EXPECT_EQ(v, 2);
}

}  // namespace
}  // namespace holv
