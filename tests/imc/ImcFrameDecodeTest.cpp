// Received frames: what decodes, to what, and every way a frame from the
// network can be malformed. Each malformed frame must give ImcErrMalformed,
// no message, and (under the sanitizers) no leak and no read outside it.
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
    Bytes out{tag};
    size_t n = content.size();
    if (n < 128) {
        out.push_back(static_cast<uint8_t>(n));
    } else if (n < 256) {
        out.push_back(0x81);
        out.push_back(static_cast<uint8_t>(n));
    } else {
        out.push_back(0x83);
        out.push_back(static_cast<uint8_t>(n >> 16));
        out.push_back(static_cast<uint8_t>(n >> 8));
        out.push_back(static_cast<uint8_t>(n));
    }
    return out + content;
}

const Bytes kName = Hex("06 12 2B 06 01 04 01 83 DE 45 C5 38 01 83 E0 00 83 E1 00 00");  // 61440.61568

Bytes Binding(const Bytes& value, const Bytes& name = kName) {
    return Tlv(0x30, name + value);
}

Bytes Snmp(const Bytes& bindings, uint8_t pduTag = 0xA2, const Bytes& version = Hex("02 01 00"),
           const Bytes& requestId = Hex("02 01 05")) {
    Bytes pdu = requestId + Hex("02 01 00 02 01 00") + Tlv(0x30, bindings);
    return Tlv(0x30, version + Hex("04 01 3A") + Tlv(pduTag, pdu));
}

Bytes Reply(const Bytes& snmp) {
    return Frame("IMCR", ImcFlagSnmp) + snmp;
}

void ExpectMalformed(const Bytes& frame) {
    std::unique_ptr<ImcMessage> m(new ImcMessage);
    EXPECT_EQ(test::Decode(frame, m), ImcErrMalformed);
    EXPECT_EQ(m, nullptr);
}

std::unique_ptr<ImcMessage> Decoded(const Bytes& frame) {
    std::unique_ptr<ImcMessage> m;
    EXPECT_EQ(test::Decode(frame, m), ImcErrNone);
    return m;
}

// ---- Header

TEST(ImcFrameDecode, ShortFramesAreMalformed) {
    const Bytes full = Frame("IMCR", 0);
    for (size_t n = 0; n < full.size(); ++n) {
        SCOPED_TRACE(n);
        ExpectMalformed(Bytes(full.begin(), full.begin() + static_cast<long>(n)));
    }
}

TEST(ImcFrameDecode, BareReplyDecodes) {
    auto m = Decoded(Frame("IMCR", 0));
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(m->kind, 0);
    EXPECT_EQ(m->notification, 0);
    EXPECT_EQ(m->flags, 0u);
    EXPECT_EQ(Bytes(m->mac, m->mac + 6), kMac);
    EXPECT_EQ(m->pdu, nullptr);
    EXPECT_EQ(m->varBinds, nullptr);
    EXPECT_EQ(m->sourceIp, 0u);
}

TEST(ImcFrameDecode, MagicGivesTheKind) {
    auto c = Decoded(Frame("IMCC", 0));
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(c->kind, 1);
    EXPECT_EQ(c->notification, 0);
    auto n = Decoded(Frame("IMCN", 0));
    ASSERT_NE(n, nullptr);
    EXPECT_EQ(n->kind, 0);
    EXPECT_EQ(n->notification, 1);
    ExpectMalformed(Frame("IMCX", 0));
    ExpectMalformed(Frame("imcr", 0));
    ExpectMalformed(Frame("XMCR", 0));
}

TEST(ImcFrameDecode, SuppliedBitOnlyInCommands) {
    ExpectMalformed(Frame("IMCR", ImcFlagSupplied));
    ExpectMalformed(Frame("IMCN", ImcFlagSupplied | 0x380));
    auto c = Decoded(Frame("IMCC", ImcFlagSupplied));
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(c->flags, ImcFlagSupplied);
}

TEST(ImcFrameDecode, BroadcastAndZeroMacs) {
    const Bytes ff = Hex("FF FF FF FF FF FF"), zero = Hex("00 00 00 00 00 00");
    ExpectMalformed(Frame("IMCR", 0, ff));
    ExpectMalformed(Frame("IMCN", 0, ff));
    EXPECT_NE(Decoded(Frame("IMCC", 0, ff)), nullptr);
    ExpectMalformed(Frame("IMCR", 0, zero));
    ExpectMalformed(Frame("IMCN", 0, zero));
    ExpectMalformed(Frame("IMCC", 0, zero));
    // Only the whole address counts.
    EXPECT_NE(Decoded(Frame("IMCR", 0, Hex("FF FF FF FF FF FE"))), nullptr);
    EXPECT_NE(Decoded(Frame("IMCR", 0, Hex("00 00 00 00 00 01"))), nullptr);
}

// ---- Optional fields

TEST(ImcFrameDecode, StatusReplyFields) {
    const uint32_t flags = ImcFlagLongWait | 0x380 | ImcFlagBlock16 | ImcFlagHostOptions;
    auto m = Decoded(Frame("IMCR", flags) + Text("rk-dev") + Hex("00") + Text("Holvenstead") + Hex("00") +
                     Text("6.0.0") + Hex("00"));
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(m->flags, flags);
    EXPECT_EQ(m->deviceName, "rk-dev");
    EXPECT_EQ(m->productName, "Holvenstead");
    EXPECT_EQ(m->firmware, "6.0.0");
    EXPECT_EQ(m->block16, nullptr);  // 0x20000 alone carries no block
}

TEST(ImcFrameDecode, EveryReplyFieldInWireOrder) {
    const uint32_t flags = 0x7FC | ImcFlagLocalHostName | ImcFlagBlock128 | ImcFlagTime;
    Bytes frame = Frame("IMCR", flags) + Hex("11 12 13 14 21 22 23 24 31 32 33 34 41 42 43 44") +
                  Text("t40") + Hex("00") + Text("dev") + Hex("00") + Text("prod") + Hex("00") + Text("fw") +
                  Hex("00") + Text("t400") + Hex("00") + Text("host") + Hex("00") + Bytes(16, 0x16) +
                  Bytes(128, 0x28) + Hex("5F 5E 10 00") + Hex("EE EE");  // trailing bytes are ignored
    auto m = Decoded(frame);
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(Bytes(m->raw04, m->raw04 + 4), Hex("11 12 13 14"));
    EXPECT_EQ(Bytes(m->raw08, m->raw08 + 4), Hex("21 22 23 24"));
    EXPECT_EQ(Bytes(m->raw10, m->raw10 + 4), Hex("31 32 33 34"));
    EXPECT_EQ(m->value20, 0x41424344u);
    EXPECT_EQ(m->text40, "t40");
    EXPECT_EQ(m->deviceName, "dev");
    EXPECT_EQ(m->productName, "prod");
    EXPECT_EQ(m->firmware, "fw");
    EXPECT_EQ(m->text400, "t400");
    EXPECT_EQ(m->localHostName, "host");
    ASSERT_NE(m->block16, nullptr);
    EXPECT_EQ(Bytes(m->block16->begin(), m->block16->end()), Bytes(16, 0x16));
    ASSERT_NE(m->block128, nullptr);
    EXPECT_EQ(Bytes(m->block128->begin(), m->block128->end()), Bytes(128, 0x28));

    // Every prefix that cuts a field short is malformed.
    const size_t complete = frame.size() - 2;
    for (size_t n = 14; n < complete; ++n) {
        SCOPED_TRACE(n);
        ExpectMalformed(Bytes(frame.begin(), frame.begin() + static_cast<long>(n)));
    }
}

TEST(ImcFrameDecode, Block16FollowsTheHostName) {
    const Bytes host = Text("pc") + Hex("00");
    // A reply with 0x10000 carries the text and 16 bytes, whatever 0x20000 says.
    auto r = Decoded(Frame("IMCR", ImcFlagLocalHostName) + host + Bytes(16, 7));
    ASSERT_NE(r, nullptr);
    ASSERT_NE(r->block16, nullptr);
    EXPECT_EQ((*r->block16)[15], 7);
    ExpectMalformed(Frame("IMCR", ImcFlagLocalHostName) + host);
    ExpectMalformed(Frame("IMCR", ImcFlagLocalHostName) + host + Bytes(15, 7));
    // A reply with 0x20000 alone: 14 bytes, no field.
    auto a = Decoded(Frame("IMCR", ImcFlagBlock16));
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a->block16, nullptr);
    // A command with 0x10000 carries only the text; with 0x30000 the text and the block.
    auto c = Decoded(Frame("IMCC", ImcFlagLocalHostName) + host);
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(c->localHostName, "pc");
    EXPECT_EQ(c->block16, nullptr);
    auto d = Decoded(Frame("IMCC", ImcFlagLocalHostName | ImcFlagBlock16) + host + Bytes(16, 9));
    ASSERT_NE(d, nullptr);
    ASSERT_NE(d->block16, nullptr);
    ExpectMalformed(Frame("IMCC", ImcFlagLocalHostName | ImcFlagBlock16) + host);
    // A command with 0x20000 but no host name reads no block.
    auto e = Decoded(Frame("IMCC", ImcFlagBlock16));
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->block16, nullptr);
}

TEST(ImcFrameDecode, CommandFieldsOnlyWithTheSuppliedBit) {
    // The status query: the bits ask for the fields, none is present.
    auto q = Decoded(Hex("49 4D 43 43 00 00 03 82 00 0C 29 12 34 56"));
    ASSERT_NE(q, nullptr);
    EXPECT_EQ(q->kind, 1);
    EXPECT_EQ(q->flags, 0x382u);
    EXPECT_TRUE(q->deviceName.empty());
    auto s = Decoded(Frame("IMCC", ImcFlagSupplied | ImcFlagValue20 | ImcFlagDeviceName) + Hex("00 00 01 00") +
                     Text("me") + Hex("00"));
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(s->value20, 256u);
    EXPECT_EQ(s->deviceName, "me");
    ExpectMalformed(Frame("IMCC", ImcFlagSupplied | ImcFlagDeviceName) + Text("me"));
}

TEST(ImcFrameDecode, MissingTerminatorsAndTruncatedFields) {
    ExpectMalformed(Frame("IMCR", ImcFlagDeviceName) + Text("name"));
    ExpectMalformed(Frame("IMCR", ImcFlagText40) + Text("x"));
    ExpectMalformed(Frame("IMCR", ImcFlagText400));
    ExpectMalformed(Frame("IMCN", ImcFlagFirmware | ImcFlagProductName) + Text("p") + Hex("00") + Text("f"));
    ExpectMalformed(Frame("IMCR", ImcFlagRaw04) + Hex("01 02 03"));
    ExpectMalformed(Frame("IMCR", ImcFlagValue20) + Hex("01"));
    ExpectMalformed(Frame("IMCR", ImcFlagBlock128) + Bytes(127, 0));
    ExpectMalformed(Frame("IMCC", ImcFlagBlock128) + Bytes(127, 0));
    ExpectMalformed(Frame("IMCR", ImcFlagTime) + Hex("5F 5E 10"));
    EXPECT_NE(Decoded(Frame("IMCR", ImcFlagTime) + Hex("5F 5E 10 00")), nullptr);
}

// ---- SNMP part

TEST(ImcFrameDecode, GetResponseWithAString) {
    const Bytes text(512, 'a');
    auto m = Decoded(Reply(Snmp(Binding(Tlv(0x04, text)))));
    ASSERT_NE(m, nullptr);
    ASSERT_NE(m->pdu, nullptr);
    EXPECT_EQ(m->pdu->type, ImcPduGetResponse);
    EXPECT_EQ(m->pdu->community, ":");
    EXPECT_EQ(m->pdu->requestId, 5);
    EXPECT_EQ(m->pdu->errorStatus, 0);
    ASSERT_NE(m->varBinds, nullptr);
    EXPECT_EQ(m->varBinds->type, ImcTagOctetString);
    EXPECT_EQ(m->varBinds->bytes, text);
    const ImcOid expected = ImcVariableName(0xF000, 0xF080);
    ASSERT_EQ(m->varBinds->name.count, expected.count);
    EXPECT_EQ(0, std::memcmp(m->varBinds->name.ids, expected.ids, sizeof(uint32_t) * 12));
    EXPECT_EQ(m->varBinds->next, nullptr);
}

TEST(ImcFrameDecode, EveryValueTypeAndBindingsInWireOrder) {
    const Bytes bindings = Binding(Hex("02 01 FF")) + Binding(Hex("01 01 01")) + Binding(Hex("0A 01 02")) +
                           Binding(Hex("41 05 00 FF FF FF FF")) + Binding(Hex("42 00")) + Binding(Hex("43 01 7F")) +
                           Binding(Hex("50 02 01 00")) + Binding(Hex("40 04 C0 A8 01 02")) +
                           Binding(Hex("04 00")) + Binding(Hex("05 00")) + Binding(Hex("06 03 2B 82 2C"));
    auto m = Decoded(Reply(Snmp(bindings)));
    ASSERT_NE(m, nullptr);
    std::vector<const ImcVarBind*> list;
    for (const ImcVarBind* b = m->varBinds.get(); b; b = b->next.get()) list.push_back(b);
    ASSERT_EQ(list.size(), 11u);
    EXPECT_EQ(list[0]->type, ImcTagInteger);
    EXPECT_EQ(list[0]->number, -1);
    EXPECT_EQ(list[1]->number, 1);
    EXPECT_EQ(list[2]->type, ImcTagEnumerated);
    EXPECT_EQ(list[3]->type, ImcTagCounter);
    EXPECT_EQ(static_cast<uint32_t>(list[3]->number), 0xFFFFFFFFu);
    EXPECT_EQ(list[4]->number, 0);  // empty INTEGER
    EXPECT_EQ(list[5]->number, 127);
    EXPECT_EQ(list[6]->type, ImcTagApplication16);
    EXPECT_EQ(list[6]->number, 256);
    EXPECT_EQ(Bytes(list[7]->address, list[7]->address + 4), Hex("C0 A8 01 02"));
    EXPECT_TRUE(list[8]->bytes.empty());
    EXPECT_EQ(list[9]->type, ImcTagNull);
    ASSERT_EQ(list[10]->oid.count, 3);
    EXPECT_EQ(list[10]->oid.ids[2], 300u);
}

TEST(ImcFrameDecode, AllPduTagsAccepted) {
    for (uint8_t tag : {0xA0, 0xA1, 0xA2, 0xA3, 0xF0, 0xF1, 0xF2}) {
        SCOPED_TRACE(tag);
        auto m = Decoded(Reply(Snmp(Binding(Hex("05 00")), tag)));
        ASSERT_NE(m, nullptr);
        EXPECT_EQ(m->pdu->type, tag);
    }
    for (uint8_t tag : {0xA4, 0xA7, 0x30, 0xEF, 0xF3, 0x00}) {
        SCOPED_TRACE(tag);
        ExpectMalformed(Reply(Snmp(Binding(Hex("05 00")), tag)));
    }
}

TEST(ImcFrameDecode, SnmpSequenceLengthMustMatchTheRest) {
    Bytes good = Reply(Snmp(Binding(Hex("05 00"))));
    ASSERT_NE(Decoded(good), nullptr);
    Bytes shortBy1 = good;
    shortBy1[15] -= 1;  // outer SEQUENCE one byte short of the rest of the frame
    ExpectMalformed(shortBy1);
    Bytes longBy1 = good;
    longBy1[15] += 1;
    ExpectMalformed(longBy1);
    Bytes extra = good + Hex("00");
    ExpectMalformed(extra);
    ExpectMalformed(Frame("IMCR", ImcFlagSnmp));             // SNMP bit, no SNMP part
    ExpectMalformed(Frame("IMCR", ImcFlagSnmp) + Hex("30 01 00"));  // fewer than 4 bytes
    ExpectMalformed(Frame("IMCR", ImcFlagSnmp) + Hex("31 02 02 00"));  // not a SEQUENCE
}

TEST(ImcFrameDecode, VersionCommunityAndHeaderIntegers) {
    const Bytes b = Binding(Hex("05 00"));
    ExpectMalformed(Reply(Snmp(b, 0xA2, Hex("02 01 01"))));  // SNMPv2c
    ExpectMalformed(Reply(Snmp(b, 0xA2, Hex("02 01 03"))));
    ExpectMalformed(Reply(Snmp(b, 0xA2, Hex("04 01 00"))));  // version not an INTEGER
    EXPECT_NE(Decoded(Reply(Snmp(b, 0xA2, Hex("02 00")))), nullptr);     // empty INTEGER is 0
    EXPECT_NE(Decoded(Reply(Snmp(b, 0xA2, Hex("02 02 00 00")))), nullptr);
    ExpectMalformed(Reply(Snmp(b, 0xA2, Hex("02 01 00"), Hex("04 01 05"))));  // request-id tag
    // Community tag must be OCTET STRING.
    Bytes frame = Reply(Snmp(b));
    frame[19] = 0x05;
    ExpectMalformed(frame);
    // PDU length one short of the rest.
    Bytes pduShort = Reply(Snmp(b));
    pduShort[23] -= 1;
    ExpectMalformed(pduShort);
    // error-status and error-index as other tags.
    Bytes statusTag = Reply(Snmp(b));
    statusTag[27] = 0x04;
    ExpectMalformed(statusTag);
    Bytes indexTag = Reply(Snmp(b));
    indexTag[30] = 0x0A;
    ExpectMalformed(indexTag);
}

TEST(ImcFrameDecode, BindingListProblems) {
    ExpectMalformed(Reply(Snmp({})));  // empty list
    Bytes wrongTag = Reply(Snmp(Binding(Hex("05 00"))));
    wrongTag[33] = 0x31;  // list not a SEQUENCE
    ExpectMalformed(wrongTag);
    // A binding that is not a SEQUENCE, and a name that is not an OID.
    ExpectMalformed(Reply(Snmp(Tlv(0x31, kName + Hex("05 00")))));
    ExpectMalformed(Reply(Snmp(Binding(Hex("05 00"), Hex("04 01 2B")))));
    ExpectMalformed(Reply(Snmp(Binding(Hex("05 00"), Hex("06 00")))));  // empty name
    // A binding whose SEQUENCE reaches past the list.
    ExpectMalformed(Reply(Snmp(Hex("30 7F") + kName + Hex("05 00"))));
    // A binding's name and value must fill its SEQUENCE exactly.
    ExpectMalformed(Reply(Snmp(Tlv(0x30, kName + Hex("05 00 00")))));
    ExpectMalformed(Reply(Snmp(Hex("30 15") + kName + Hex("05 00"))));  // value outside its binding
    // A good binding followed by a cut-off one.
    ExpectMalformed(Reply(Snmp(Binding(Hex("05 00")) + Hex("30"))));
    ExpectMalformed(Reply(Snmp(Binding(Hex("05 00")) + Hex("30 00"))));
}

TEST(ImcFrameDecode, ValueProblems) {
    ExpectMalformed(Reply(Snmp(Binding(Hex("44 01 00")))));   // Opaque: not supported
    ExpectMalformed(Reply(Snmp(Binding(Hex("46 01 00")))));   // Counter64: not supported
    ExpectMalformed(Reply(Snmp(Binding(Hex("80 00")))));      // noSuchObject: not SNMPv1
    ExpectMalformed(Reply(Snmp(Binding(Hex("05 01 00")))));   // NULL with content
    ExpectMalformed(Reply(Snmp(Binding(Hex("40 05 01 02 03 04 05")))));
    ExpectMalformed(Reply(Snmp(Binding(Hex("40 03 01 02 03")))));
    ExpectMalformed(Reply(Snmp(Binding(Hex("06 00")))));      // empty OID value
    ExpectMalformed(Reply(Snmp(Binding(Hex("06 02 2B 86")))));
    ExpectMalformed(Reply(Snmp(Binding(Hex("04 05 61 62")))));  // string longer than its binding
    ExpectMalformed(Reply(Snmp(Binding(Hex("02 05 01 02")))));
    ExpectMalformed(Reply(Snmp(Binding(Hex("04 84 FF FF FF FF")))));  // huge length
    ExpectMalformed(Reply(Snmp(Binding(Hex("04 FF")))));             // 127 length bytes missing
    ExpectMalformed(Reply(Snmp(Binding(Hex("02")))));                // tag without length
    ExpectMalformed(Reply(Snmp(Binding({}))));                       // no value at all
    // A name of 33 sub-identifiers.
    ExpectMalformed(Reply(Snmp(Binding(Hex("05 00"), Tlv(0x06, Hex("2B") + Bytes(31, 1))))));
    EXPECT_NE(Decoded(Reply(Snmp(Binding(Hex("05 00"), Tlv(0x06, Hex("2B") + Bytes(30, 1)))))), nullptr);
    // A sub-identifier beyond 32 bits in the name.
    ExpectMalformed(Reply(Snmp(Binding(Hex("05 00"), Hex("06 06 2B 90 80 80 80 00")))));
}

TEST(ImcFrameDecode, LongFormLengthsThroughout) {
    // Every length written in long form, with superfluous leading zeros.
    Bytes binding = Hex("30 82 00 16") + kName + Hex("05 81 00");
    binding[3] = static_cast<uint8_t>(kName.size() + 3);
    Bytes list = Hex("30 83 00 00") + Bytes{static_cast<uint8_t>(binding.size())} + binding;
    Bytes pdu = Hex("02 01 05 02 01 00 02 01 00") + list;
    Bytes pduTlv = Hex("A2 81") + Bytes{static_cast<uint8_t>(pdu.size())} + pdu;
    Bytes content = Hex("02 01 00 04 81 01 3A") + pduTlv;
    Bytes snmp = Hex("30 84 00 00 00") + Bytes{static_cast<uint8_t>(content.size())} + content;
    auto m = Decoded(Reply(snmp));
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(m->pdu->community, ":");
    EXPECT_EQ(m->varBinds->type, ImcTagNull);
}

TEST(ImcFrameDecode, ManyBindingsAreFreedWithoutDeepRecursion) {
    Bytes one = Binding(Hex("05 00"), Hex("06 01 2B"));
    Bytes bindings;
    for (int i = 0; i < 50000; ++i) bindings.insert(bindings.end(), one.begin(), one.end());
    auto m = Decoded(Reply(Snmp(bindings)));
    ASSERT_NE(m, nullptr);
    int count = 0;
    for (const ImcVarBind* b = m->varBinds.get(); b; b = b->next.get()) ++count;
    EXPECT_EQ(count, 50000);
    // And a malformed last binding frees the 49999 before it.
    Bytes bad = bindings;
    bad.back() = 0x01;  // NULL of length 1 without its byte
    ExpectMalformed(Reply(Snmp(bad)));
}

TEST(ImcFrameDecode, StartsAtTheBufferPosition) {
    // The pipe path hands over a buffer whose first bytes are the IP and UDP
    // headers: decoding starts at the cursor.
    Bytes packet = Bytes(28, 0x45) + Frame("IMCR", ImcFlagDeviceName) + Text("d") + Hex("00");
    ImcBuffer b = test::ReadBuffer(packet);
    ASSERT_EQ(ImcBufferSkip(b, 28), 0);
    std::unique_ptr<ImcMessage> m;
    ASSERT_EQ(DecodeFrame(b, m), ImcErrNone);
    EXPECT_EQ(m->deviceName, "d");
    // And stops at the limit: the terminator lies beyond it.
    ImcBuffer c = test::ReadBuffer(packet);
    ASSERT_EQ(ImcBufferSkip(c, 28), 0);
    ASSERT_EQ(ImcBufferSetLimit(c, static_cast<int>(packet.size()) - 1), 0);
    EXPECT_EQ(DecodeFrame(c, m), ImcErrMalformed);
    EXPECT_EQ(m, nullptr);
}

TEST(ImcFrameDecode, FailedOrEmptyBufferGivesNothing) {
    ImcBuffer b = test::ReadBuffer(Frame("IMCR", 0));
    b.failed = true;  // an earlier bounds violation sticks
    std::unique_ptr<ImcMessage> m;
    EXPECT_EQ(DecodeFrame(b, m), ImcErrMalformed);
    EXPECT_EQ(m, nullptr);
    ImcBuffer empty;
    EXPECT_EQ(DecodeFrame(empty, m), ImcErrMalformed);
    EXPECT_EQ(m, nullptr);
}

}  // namespace
}  // namespace holv
