// Received frames: what decodes, to what, and every way a frame from the
// network can be malformed. Each malformed frame must give ImcErrMalformed,
// no message, and (under the sanitizers) no leak and no read outside it.
#include <gtest/gtest.h>

#include "imc/ImcFrame.h"
#include "imc/ImcMessage.h"
#include "imc/ImcTags.h"
#include "imc/ImcTestBytes.h"

namespace holv {
namespace {

using test::Bytes;
using test::operator+;
using test::Hex;
using test::Text;

const Bytes kMac = Hex("00 0C 29 12 34 56");

Bytes Frame(const char* magic, uint32_t flags, const Bytes& mac = kMac) {
    Bytes f = Text(magic);
    for (int shift = 24; shift >= 0; shift -= 8) f.push_back(static_cast<uint8_t>(flags >> shift));
    return f + mac;
}

// A TLV with a definite length, short or long form as needed.
Bytes Tlv(uint8_t tag, const Bytes& content) {
    size_t n = content.size();
    Bytes out{tag};
    if (n >= 256) out = out + Bytes{0x83, static_cast<uint8_t>(n >> 16), static_cast<uint8_t>(n >> 8)};
    if (n >= 128 && n < 256) out.push_back(0x81);
    out.push_back(static_cast<uint8_t>(n));
    return out + content;
}

const Bytes kName = Hex("06 12 2B 06 01 04 01 83 DE 45 C5 38 01 83 E0 00 83 E1 00 00");  // 61440.61568
const Bytes kNull = Hex("05 00");

Bytes Binding(const Bytes& value, const Bytes& name = kName) {
    return Tlv(0x30, name + value);
}

Bytes Snmp(const Bytes& bindings, uint8_t pduTag = 0xA2, const Bytes& version = Hex("02 01 00"),
           const Bytes& requestId = Hex("02 01 05")) {
    return Tlv(0x30,
               version + Hex("04 01 3A") + Tlv(pduTag, requestId + Hex("02 01 00 02 01 00") + Tlv(0x30, bindings)));
}

Bytes Reply(const Bytes& snmp) {
    return Frame("IMCR", ImcFlagSnmp) + snmp;
}

Bytes With(Bytes frame, size_t at, uint8_t value) {
    frame[at] = value;
    return frame;
}

std::unique_ptr<ImcMessage> Decoded(const Bytes& frame) {
    std::unique_ptr<ImcMessage> m;
    EXPECT_EQ(test::Decode(frame, m), ImcErrNone);
    return m;
}

TEST(ImcFrameDecode, MalformedFrames) {
    const Bytes good = Reply(Snmp(Binding(kNull)));
    Bytes many;  // 50000 bindings, the last one cut: the ones before are freed without deep recursion
    const Bytes one = Binding(kNull, Hex("06 01 2B"));
    for (int i = 0; i < 50000; ++i) many.insert(many.end(), one.begin(), one.end());
    many.back() = 0x01;
    const std::pair<const char*, Bytes> cases[] = {
        {"unknown magic", Frame("IMCX", 0)},
        {"supplied bit in a reply", Frame("IMCR", ImcFlagSupplied)},
        {"broadcast MAC in a reply", Frame("IMCR", 0, Hex("FF FF FF FF FF FF"))},
        {"zero MAC", Frame("IMCC", 0, Hex("00 00 00 00 00 00"))},
        {"a command's block16 missing", Frame("IMCC", ImcFlagLocalHostName | ImcFlagBlock16) + Text("pc") + Hex("00")},
        {"a supplied text cut", Frame("IMCC", ImcFlagSupplied | ImcFlagDeviceName) + Text("me")},
        {"SNMP bit, no SNMP part", Frame("IMCR", ImcFlagSnmp)},
        {"SNMP part under 4 bytes", Frame("IMCR", ImcFlagSnmp) + Hex("30 01 00")},
        {"SNMP part not a SEQUENCE", Frame("IMCR", ImcFlagSnmp) + Hex("31 02 02 00")},
        {"outer SEQUENCE one short", With(good, 15, static_cast<uint8_t>(good[15] - 1))},
        {"outer SEQUENCE one long", With(good, 15, static_cast<uint8_t>(good[15] + 1))},
        {"a byte after the SNMP part", good + Hex("00")},
        {"SNMPv2c", Reply(Snmp(Binding(kNull), 0xA2, Hex("02 01 01")))},
        {"version not an INTEGER", Reply(Snmp(Binding(kNull), 0xA2, Hex("04 01 00")))},
        {"request-id not an INTEGER", Reply(Snmp(Binding(kNull), 0xA2, Hex("02 01 00"), Hex("04 01 05")))},
        {"community not an OCTET STRING", With(good, 19, 0x05)},
        {"PDU one short", With(good, 23, static_cast<uint8_t>(good[23] - 1))},
        {"error-status not an INTEGER", With(good, 27, 0x04)},
        {"error-index not an INTEGER", With(good, 30, 0x0A)},
        {"binding list not a SEQUENCE", With(good, 33, 0x31)},
        {"PDU tag A4", Reply(Snmp(Binding(kNull), 0xA4))},
        {"PDU tag 30", Reply(Snmp(Binding(kNull), 0x30))},
        {"PDU tag F3", Reply(Snmp(Binding(kNull), 0xF3))},
        {"empty binding list", Reply(Snmp({}))},
        {"binding not a SEQUENCE", Reply(Snmp(Tlv(0x31, kName + kNull)))},
        {"name not an OID", Reply(Snmp(Binding(kNull, Hex("04 01 2B"))))},
        {"empty name", Reply(Snmp(Binding(kNull, Hex("06 00"))))},
        {"name of 33 sub-identifiers", Reply(Snmp(Binding(kNull, Tlv(0x06, Hex("2B") + Bytes(31, 1)))))},
        {"name beyond 32 bits", Reply(Snmp(Binding(kNull, Hex("06 06 2B 90 80 80 80 00"))))},
        {"binding past the list", Reply(Snmp(Hex("30 7F") + kName + kNull))},
        {"binding with a byte left over", Reply(Snmp(Tlv(0x30, kName + Hex("05 00 00"))))},
        {"a cut-off second binding", Reply(Snmp(Binding(kNull) + Hex("30")))},
        {"Opaque", Reply(Snmp(Binding(Hex("44 01 00"))))},
        {"noSuchObject", Reply(Snmp(Binding(Hex("80 00"))))},
        {"NULL with content", Reply(Snmp(Binding(Hex("05 01 00"))))},
        {"address of 5 bytes", Reply(Snmp(Binding(Hex("40 05 01 02 03 04 05"))))},
        {"empty OID value", Reply(Snmp(Binding(Hex("06 00"))))},
        {"OID value cut", Reply(Snmp(Binding(Hex("06 02 2B 86"))))},
        {"string longer than its binding", Reply(Snmp(Binding(Hex("04 05 61 62"))))},
        {"integer longer than its binding", Reply(Snmp(Binding(Hex("02 05 01 02"))))},
        {"huge length", Reply(Snmp(Binding(Hex("04 84 FF FF FF FF"))))},
        {"127 length bytes missing", Reply(Snmp(Binding(Hex("04 FF"))))},
        {"length bytes cut off", Reply(Snmp(Binding(Hex("04 84 00 00"))))},
        {"a length of 127 bytes", Reply(Snmp(Binding(Hex("04 FF") + Bytes(127, 0xFF))))},
        {"name continued past its length", Reply(Snmp(Binding(kNull, Hex("06 02 2B 86"))))},
        {"tag without length", Reply(Snmp(Binding(Hex("02"))))},
        {"no value", Reply(Snmp(Binding({})))},
        {"50000 bindings, the last cut", Reply(Snmp(many))},
    };
    for (const auto& [what, frame] : cases) {
        std::unique_ptr<ImcMessage> m(new ImcMessage);
        EXPECT_EQ(test::Decode(frame, m), ImcErrMalformed) << what;
        EXPECT_EQ(m, nullptr) << what;
    }
    // Every prefix of a frame with every field cuts a field short.
    const Bytes full = Frame("IMCR", 0x7FC | ImcFlagLocalHostName | ImcFlagBlock128 | ImcFlagTime) + Bytes(16, 0x11) +
                       Text("t40") + Hex("00") + Text("dev") + Hex("00") + Text("prod") + Hex("00") + Text("fw") +
                       Hex("00") + Text("t400") + Hex("00") + Text("host") + Hex("00") + Bytes(16, 0x16) +
                       Bytes(128, 0x28) + Hex("5F 5E 10 00");
    for (size_t n = 0; n < full.size(); ++n) {
        std::unique_ptr<ImcMessage> m;
        EXPECT_EQ(test::Decode(Bytes(full.begin(), full.begin() + static_cast<long>(n)), m), ImcErrMalformed) << n;
    }
    auto m = Decoded(full + Hex("EE EE"));  // trailing bytes are ignored
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(m->value20, 0x11111111u);
    EXPECT_EQ(m->text40 + m->deviceName + m->productName + m->firmware + m->text400 + m->localHostName,
              "t40devprodfwt400host");
    ASSERT_TRUE(m->block16 && m->block128);
    EXPECT_EQ(Bytes(m->block16->begin(), m->block16->end()), Bytes(16, 0x16));
    EXPECT_EQ(Bytes(m->block128->begin(), m->block128->end()), Bytes(128, 0x28));
}

TEST(ImcFrameDecode, HeadersKindsAndOptionalFields) {
    struct Case {
        const char* what;
        Bytes frame;
        int kind, notification;
        const char* device;
        bool block16;
    };
    const Case cases[] = {
        {"command", Frame("IMCC", ImcFlagSupplied), 1, 0, "", false},
        {"notification", Frame("IMCN", 0), 0, 1, "", false},
        {"a command to every appliance", Frame("IMCC", 0, Hex("FF FF FF FF FF FF")), 1, 0, "", false},
        {"only the whole address is broadcast", Frame("IMCR", 0, Hex("FF FF FF FF FF FE")), 0, 0, "", false},
        {"status reply", Frame("IMCR", 0x382 | ImcFlagBlock16) + Text("rk-dev") + Hex("00 00 00"), 0, 0, "rk-dev",
         false},
        {"reply: host name then 16 bytes, whatever 0x20000 says",
         Frame("IMCR", ImcFlagLocalHostName) + Text("pc") + Hex("00") + Bytes(16, 7), 0, 0, "", true},
        {"command: 0x10000 carries only the text", Frame("IMCC", ImcFlagLocalHostName) + Text("pc") + Hex("00"), 1, 0,
         "", false},
        {"command: 0x30000 the text and the block",
         Frame("IMCC", ImcFlagLocalHostName | ImcFlagBlock16) + Text("pc") + Hex("00") + Bytes(16, 9), 1, 0, "", true},
        {"command: 0x20000 without a host name reads no block", Frame("IMCC", ImcFlagBlock16), 1, 0, "", false},
        {"supplied fields", Frame("IMCC", ImcFlagSupplied | ImcFlagDeviceName) + Text("me") + Hex("00"), 1, 0, "me",
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        auto m = Decoded(c.frame);
        ASSERT_NE(m, nullptr);
        EXPECT_EQ(m->kind, c.kind);
        EXPECT_EQ(m->notification, c.notification);
        EXPECT_EQ(Bytes(m->mac, m->mac + 6), Bytes(c.frame.begin() + 8, c.frame.begin() + 14));
        EXPECT_EQ(m->deviceName, c.device);
        EXPECT_EQ(m->block16 != nullptr, c.block16);
        EXPECT_EQ(m->pdu, nullptr);
    }
}

TEST(ImcFrameDecode, SnmpPartValuesInWireOrder) {
    // Over-long integers: their last four bytes count. Lengths with leading
    // zero bytes. Sub-identifiers of 32 bits, a first pair above 127.
    const Bytes bindings = Binding(Hex("02 01 FF")) + Binding(Hex("0A 01 02")) + Binding(Hex("41 05 00 FF FF FF FF")) +
                           Binding(Hex("42 00")) + Binding(Hex("50 02 01 00")) + Binding(Hex("40 04 C0 A8 01 02")) +
                           Binding(Hex("04 00")) + Binding(kNull) + Binding(Hex("06 03 2B 82 2C")) +
                           Binding(kNull, Tlv(0x06, Hex("2B") + Bytes(30, 1))) +  // a name of 32: the most
                           Binding(Hex("02 09 80 11 22 33 44 01 02 03 04")) +
                           Binding(Hex("04 88 00 00 00 00 00 00 00 02 6F 6B")) +
                           Binding(Hex("06 06 2B 8F FF FF FF 7F")) + Binding(Hex("06 03 81 5A 07"));
    auto m = Decoded(Reply(Snmp(bindings)));
    ASSERT_NE(m, nullptr);
    std::vector<const ImcVarBind*> list;
    for (const ImcVarBind* b = m->varBinds.get(); b; b = b->next.get()) list.push_back(b);
    ASSERT_EQ(list.size(), 14u);
    const std::pair<uint8_t, int32_t> numbers[] = {
        {ImcTagInteger, -1}, {ImcTagEnumerated, 2}, {ImcTagCounter, -1}, {ImcTagGauge, 0}, {ImcTagApplication16, 256}};
    for (size_t i = 0; i < 5; ++i) {
        EXPECT_EQ(list[i]->type, numbers[i].first) << i;
        EXPECT_EQ(list[i]->number, numbers[i].second) << i;
    }
    EXPECT_EQ(Bytes(list[5]->address, list[5]->address + 4), Hex("C0 A8 01 02"));
    EXPECT_TRUE(list[6]->bytes.empty());
    EXPECT_EQ(list[7]->type, ImcTagNull);
    ASSERT_EQ(list[8]->oid.count, 3);
    EXPECT_EQ(list[8]->oid.ids[2], 300u);
    EXPECT_EQ(list[9]->name.count, 32);
    EXPECT_EQ(list[10]->number, 0x01020304);
    EXPECT_EQ(list[11]->bytes, Text("ok"));
    EXPECT_EQ(std::vector<uint32_t>(list[12]->oid.ids, list[12]->oid.ids + 3),
              (std::vector<uint32_t>{1, 3, 0xFFFFFFFF}));
    EXPECT_EQ(std::vector<uint32_t>(list[13]->oid.ids, list[13]->oid.ids + 3), (std::vector<uint32_t>{5, 18, 7}));

    for (uint8_t tag : {0xA0, 0xA1, 0xA2, 0xA3, 0xF0, 0xF1, 0xF2}) {
        auto p = Decoded(Reply(Snmp(Binding(kNull), tag)));
        ASSERT_NE(p, nullptr) << int{tag};
        EXPECT_EQ(p->pdu->type, tag);
    }
    EXPECT_NE(Decoded(Reply(Snmp(Binding(kNull), 0xA2, Hex("02 00")))), nullptr);  // an empty version INTEGER is 0
}

// The appliance does not check a binding's SEQUENCE length, so neither may
// we: name and value are read whatever it says, up to the list's end.
TEST(ImcFrameDecode, BindingLengthIsNotHeldToItsContent) {
    const Bytes value = Hex("04 02 6F 6B");
    const std::pair<const char*, Bytes> cases[] = {
        {"length 0", Hex("30 00") + kName + value},
        {"one long", Hex("30 19") + kName + value + Binding(kNull)},
        {"spanning the next binding", Hex("30 7F") + kName + value + Binding(Tlv(0x04, Bytes(100, 0x78)))},
        {"long form, wrong", Hex("30 81 05") + kName + value + Binding(kNull)},
    };
    for (const auto& [what, bindings] : cases) {
        auto m = Decoded(Reply(Snmp(bindings)));
        ASSERT_NE(m, nullptr) << what;
        EXPECT_EQ(m->varBinds->name.count, 12) << what;
        EXPECT_EQ(m->varBinds->bytes, Text("ok")) << what;
    }
}

TEST(ImcFrameDecode, StartsAtTheBufferPositionAndStopsAtItsLimit) {
    // The pipe path hands over a buffer whose first bytes are the IP and UDP
    // headers.
    Bytes packet = Bytes(28, 0x45) + Frame("IMCR", ImcFlagDeviceName) + Text("d") + Hex("00");
    std::unique_ptr<ImcMessage> m;
    ImcBuffer b = test::ReadBuffer(packet);
    ASSERT_EQ(ImcBufferSkip(b, 28), 0);
    ASSERT_EQ(DecodeFrame(b, m), ImcErrNone);
    EXPECT_EQ(m->deviceName, "d");
    ImcBuffer c = test::ReadBuffer(packet);
    ASSERT_EQ(ImcBufferSkip(c, 28) | ImcBufferSetLimit(c, static_cast<int>(packet.size()) - 1), 0);
    EXPECT_EQ(DecodeFrame(c, m), ImcErrMalformed);
    EXPECT_EQ(m, nullptr);
    ImcBuffer f = test::ReadBuffer(Frame("IMCR", 0));
    f.failed = true;  // an earlier bounds violation sticks
    EXPECT_EQ(DecodeFrame(f, m), ImcErrMalformed);
    ImcBuffer empty;
    EXPECT_EQ(DecodeFrame(empty, m), ImcErrMalformed);
}

}  // namespace
}  // namespace holv
