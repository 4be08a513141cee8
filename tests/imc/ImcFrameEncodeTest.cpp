// Frames the host builds, byte for byte.
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

const uint8_t kMac[6] = {0x00, 0x0C, 0x29, 0x12, 0x34, 0x56};
const char* const kMacHex = "00 0C 29 12 34 56";

ImcMessage Command(uint32_t flags) {
    ImcMessage m;
    std::memcpy(m.mac, kMac, 6);
    ImcSetFlags(m, flags);
    return m;
}

Bytes Block(int n, uint8_t first) {
    Bytes b;
    for (int i = 0; i < n; ++i) b.push_back(static_cast<uint8_t>(first + i));
    return b;
}

TEST(ImcFrameEncode, StatusQueryIsTheBareHeader) {
    ImcMessage m = Command(0x380 | ImcFlagLongWait);
    EXPECT_EQ(test::Encode(m), Hex("49 4D 43 43 00 00 03 82 00 0C 29 12 34 56"));
}

TEST(ImcFrameEncode, ShutdownRequest) {
    ImcMessage m = Command(ImcFlagSupplied);
    EXPECT_EQ(test::Encode(m), Hex("49 4D 43 43 00 00 00 01 00 0C 29 12 34 56"));
}

TEST(ImcFrameEncode, NewMessageIsACommandToEveryAppliance) {
    ImcMessage m;
    EXPECT_EQ(test::Encode(m), Hex("49 4D 43 43 00 00 00 00 FF FF FF FF FF FF"));
}

TEST(ImcFrameEncode, HostIdentityWithBlocksAndTime) {
    ImcMessage m = Command(0);
    const Bytes b16 = Block(16, 0x01), b128 = Block(128, 0x80);
    ASSERT_EQ(ImcSetLocalHostName(m, "HOST-PC"), ImcErrNone);
    ASSERT_EQ(ImcSetBlock16(m, b16.data()), ImcErrNone);
    ASSERT_EQ(ImcSetBlock128(m, b128.data()), ImcErrNone);
    m.flags |= ImcFlagTime;
    EXPECT_EQ(test::Encode(m), Hex("49 4D 43 43 00 0F 00 00") + Hex(kMacHex) + test::Text("HOST-PC") +
                                   Hex("00") + b16 + b128 + Hex("5F 5E 10 00"));
}

TEST(ImcFrameEncode, HostIdentityWithItsGetRequest) {
    ImcMessage m = Command(0);
    ASSERT_EQ(ImcSetLocalHostName(m, "PC"), ImcErrNone);
    m.flags |= ImcFlagTime;
    ASSERT_EQ(ImcSetCommunity(m, "", ""), ImcErrNone);
    ASSERT_EQ(ImcAddVarBind(m, 34816, 800, ImcTagNull, nullptr, 0), ImcErrNone);
    const Bytes snmp = Hex(
        "30 2A 02 01 00 04 01 3A"
        " A0 22 02 01 00 02 01 00 02 01 00"
        " 30 17 30 15 06 11 2B 06 01 04 01 83 DE 45 C5 38 01 82 90 00 86 20 00 05 00");
    EXPECT_EQ(test::Encode(m), Hex("49 4D 43 43 80 09 00 00") + Hex(kMacHex) + test::Text("PC") + Hex("00") +
                                   Hex("5F 5E 10 00") + snmp);
    EXPECT_EQ(m.flags, 0x80090000u);  // the SNMP bit is left set in the message
}

TEST(ImcFrameEncode, GetRequestWithColonCommunity) {
    ImcMessage m = Command(0);
    ASSERT_EQ(ImcSetCommunity(m, "", ""), ImcErrNone);
    ASSERT_EQ(ImcAddVarBind(m, 0xF000, 0xF080, ImcTagNull, nullptr, 0), ImcErrNone);
    m.pdu->requestId = 5;
    EXPECT_EQ(test::Encode(m),
              Hex("49 4D 43 43 80 00 00 00") + Hex(kMacHex) +
                  Hex("30 2B 02 01 00 04 01 3A"
                      " A0 23 02 01 05 02 01 00 02 01 00"
                      " 30 18 30 16 06 12 2B 06 01 04 01 83 DE 45 C5 38 01 83 E0 00 83 E1 00 00 05 00"));
}

TEST(ImcFrameEncode, SetRequestWithAString) {
    ImcMessage m = Command(ImcFlagLongWait);
    ASSERT_EQ(ImcSetCommunity(m, "", ""), ImcErrNone);
    ASSERT_EQ(ImcSetPduType(m, ImcPduSetRequest), ImcErrNone);
    ASSERT_EQ(ImcAddVarBind(m, 0xF000, 0xF092, ImcTagOctetString, "abc", -1), ImcErrNone);
    m.pdu->requestId = 7;
    EXPECT_EQ(test::Encode(m),
              Hex("49 4D 43 43 80 00 00 02") + Hex(kMacHex) +
                  Hex("30 2E 02 01 00 04 01 3A"
                      " A3 26 02 01 07 02 01 00 02 01 00"
                      " 30 1B 30 19 06 12 2B 06 01 04 01 83 DE 45 C5 38 01 83 E0 00 83 E1 12 00"
                      " 04 03 61 62 63"));
}

TEST(ImcFrameEncode, SetRequestWithAnInteger) {
    ImcMessage m = Command(0);
    ASSERT_EQ(ImcSetCommunity(m, "", ""), ImcErrNone);
    ASSERT_EQ(ImcSetPduType(m, ImcPduSetRequest), ImcErrNone);
    const int32_t fourteen = 14;
    ASSERT_EQ(ImcAddVarBind(m, 0xF000, 0xF090, ImcTagInteger, &fourteen, 4), ImcErrNone);
    EXPECT_EQ(test::Encode(m),
              Hex("49 4D 43 43 80 00 00 00") + Hex(kMacHex) +
                  Hex("30 2C 02 01 00 04 01 3A"
                      " A3 24 02 01 00 02 01 00 02 01 00"
                      " 30 19 30 17 06 12 2B 06 01 04 01 83 DE 45 C5 38 01 83 E0 00 83 E1 10 00"
                      " 02 01 0E"));
}

TEST(ImcFrameEncode, LongStringGetsLongLengths) {
    ImcMessage m = Command(0);
    ASSERT_EQ(ImcSetCommunity(m, "", ""), ImcErrNone);
    const Bytes text(300, 'x');
    ASSERT_EQ(ImcAddVarBind(m, 1, 2, ImcTagOctetString, text.data(), 300), ImcErrNone);
    const Bytes frame = test::Encode(m);
    const Bytes name = Hex("06 0E 2B 06 01 04 01 83 DE 45 C5 38 01 01 02 00");
    const Bytes expected = Hex("49 4D 43 43 80 00 00 00") + Hex(kMacHex) +
                           Hex("30 82 01 5B 02 01 00 04 01 3A A0 82 01 51 02 01 00 02 01 00 02 01 00"
                               " 30 82 01 44 30 82 01 40") +
                           name + Hex("04 82 01 2C") + text;
    EXPECT_EQ(frame, expected);
}

TEST(ImcFrameEncode, BindingsStandInTheOrderAdded) {
    ImcMessage m = Command(0);
    ASSERT_EQ(ImcSetCommunity(m, "", ""), ImcErrNone);
    const int32_t one = 1, two = 2;
    ASSERT_EQ(ImcAddVarBind(m, 1, 1, ImcTagInteger, &one, 4), ImcErrNone);
    ASSERT_EQ(ImcAddVarBind(m, 1, 2, ImcTagInteger, &two, 4), ImcErrNone);
    const Bytes frame = test::Encode(m);
    const Bytes first = Hex("30 13 06 0E 2B 06 01 04 01 83 DE 45 C5 38 01 01 01 00 02 01 01");
    const Bytes second = Hex("30 13 06 0E 2B 06 01 04 01 83 DE 45 C5 38 01 01 02 00 02 01 02");
    ASSERT_GT(frame.size(), first.size() + second.size());
    EXPECT_EQ(Bytes(frame.end() - 42, frame.end()), first + second);
}

TEST(ImcFrameEncode, EveryValueType) {
    struct Case {
        uint8_t type;
        const void* value;
        int length;
        const char* item;
    };
    const int32_t minusOne = -1;
    const uint8_t ip[4] = {192, 168, 1, 2};
    const uint32_t oid[3] = {1, 3, 300};
    const Case cases[] = {
        {ImcTagBoolean, &minusOne, 4, "01 01 FF"},
        {ImcTagEnumerated, &minusOne, 4, "0A 01 FF"},
        {ImcTagCounter, &minusOne, 4, "41 01 FF"},
        {ImcTagTimeTicks, &minusOne, 4, "43 01 FF"},
        {ImcTagIpAddress, ip, 4, "40 04 C0 A8 01 02"},
        {ImcTagOid, oid, 3, "06 03 2B 82 2C"},
        {ImcTagOctetString, "", 0, "04 00"},
        {ImcTagInteger, nullptr, 0, "05 00"},  // no value: NULL
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.item);
        ImcMessage m = Command(0);
        ASSERT_EQ(ImcSetCommunity(m, "", ""), ImcErrNone);
        ASSERT_EQ(ImcAddVarBind(m, 1, 2, c.type, c.value, c.length), ImcErrNone);
        const Bytes frame = test::Encode(m);
        const Bytes item = Hex(c.item);
        ASSERT_GT(frame.size(), item.size());
        EXPECT_EQ(Bytes(frame.end() - static_cast<long>(item.size()), frame.end()), item);
    }
}

TEST(ImcFrameEncode, CommandWithSuppliedFields) {
    ImcMessage m = Command(ImcFlagSupplied | ImcFlagRaw04 | ImcFlagRaw08 | ImcFlagRaw10 | ImcFlagValue20 |
                           ImcFlagDeviceName | ImcFlagText40 | ImcFlagProductName | ImcFlagFirmware |
                           ImcFlagText400);
    std::memcpy(m.raw04, "\x11\x12\x13\x14", 4);
    std::memcpy(m.raw08, "\x21\x22\x23\x24", 4);
    std::memcpy(m.raw10, "\x31\x32\x33\x34", 4);
    m.value20 = 0x41424344;
    m.deviceName = "dev";
    m.text40 = "never";  // only the appliance reports these texts
    m.productName = "never";
    EXPECT_EQ(test::Encode(m), Hex("49 4D 43 43 00 00 07 FD") + Hex(kMacHex) +
                                   Hex("11 12 13 14 21 22 23 24 31 32 33 34 41 42 43 44 64 65 76 00"));
    // Without bit 0x1 the same bits only ask; nothing is written.
    m.flags &= ~ImcFlagSupplied;
    EXPECT_EQ(test::Encode(m), Hex("49 4D 43 43 00 00 07 FC") + Hex(kMacHex));
}

TEST(ImcFrameEncode, CommandBlock16FollowsItsOwnBit) {
    ImcMessage m = Command(0);
    const Bytes b16 = Block(16, 0x01);
    ASSERT_EQ(ImcSetBlock16(m, b16.data()), ImcErrNone);  // no host name
    EXPECT_EQ(test::Encode(m), Hex("49 4D 43 43 00 02 00 00") + Hex(kMacHex) + b16);
}

TEST(ImcFrameEncode, ReplyCarriesEveryFlaggedField) {
    ImcMessage m;
    m.kind = 0;
    std::memcpy(m.mac, kMac, 6);
    m.flags = ImcFlagDeviceName | ImcFlagProductName | ImcFlagFirmware | ImcFlagBlock16 | ImcFlagHostOptions;
    m.deviceName = "rk1";
    m.productName = "P";
    m.firmware = "6.0";
    EXPECT_EQ(test::Encode(m), Hex("49 4D 43 52 40 02 03 80") + Hex(kMacHex) +
                                   Hex("72 6B 31 00 50 00 36 2E 30 00"));
    m.notification = 1;
    m.flags = 0;
    EXPECT_EQ(test::Encode(m), Hex("49 4D 43 4E 00 00 00 00") + Hex(kMacHex));
}

TEST(ImcFrameEncode, TextStopsAtAnEmbeddedTerminator) {
    ImcMessage m = Command(0);
    m.localHostName = std::string("AB\0CD", 5);
    m.flags |= ImcFlagLocalHostName;
    EXPECT_EQ(test::Encode(m), Hex("49 4D 43 43 00 01 00 00") + Hex(kMacHex) + Hex("41 42 00"));
}

TEST(ImcFrameEncode, MissingPartsAreMalformed) {
    int rc = 0;
    {  // bindings without an SNMP header
        ImcMessage m = Command(0);
        m.varBinds.reset(new ImcVarBind);
        m.varBinds->name = ImcVariableName(1, 1);
        EXPECT_TRUE(test::Encode(m, &rc).empty());
        EXPECT_EQ(rc, ImcErrMalformed);
    }
    {  // a type the codec cannot carry
        ImcMessage m = Command(0);
        ASSERT_EQ(ImcSetCommunity(m, "", ""), ImcErrNone);
        const int32_t v = 1;
        EXPECT_EQ(ImcAddVarBind(m, 1, 1, 0x44, &v, 4), ImcErrMalformed);
        EXPECT_TRUE(test::Encode(m, &rc).empty());
        EXPECT_EQ(rc, ImcErrMalformed);
    }
    {  // an OID value too short to write
        ImcMessage m = Command(0);
        ASSERT_EQ(ImcSetCommunity(m, "", ""), ImcErrNone);
        const uint32_t one[1] = {1};
        ASSERT_EQ(ImcAddVarBind(m, 1, 1, ImcTagOid, one, 1), ImcErrNone);
        EXPECT_TRUE(test::Encode(m, &rc).empty());
        EXPECT_EQ(rc, ImcErrMalformed);
    }
    {  // flagged blocks that are absent
        ImcMessage m = Command(ImcFlagBlock128);
        EXPECT_TRUE(test::Encode(m, &rc).empty());
        EXPECT_EQ(rc, ImcErrMalformed);
        ImcMessage n = Command(ImcFlagBlock16);
        EXPECT_TRUE(test::Encode(n, &rc).empty());
        EXPECT_EQ(rc, ImcErrMalformed);
    }
    {  // the SNMP bit with nothing to write behind it
        ImcMessage m = Command(ImcFlagSnmp);
        EXPECT_TRUE(test::Encode(m, &rc).empty());
        EXPECT_EQ(rc, ImcErrMalformed);
    }
}

TEST(ImcFrameEncode, OversizedFrameFailsAndHandsOutNoBuffer) {
    ImcMessage m = Command(0);
    ASSERT_EQ(ImcSetLocalHostName(m, std::string(ImcFrameCapacity, 'h').c_str()), ImcErrNone);
    ImcBuffer frame;
    EXPECT_EQ(EncodeFrame(m, frame, test::FixedClock), ImcErrEncode);
    EXPECT_EQ(frame.bytes, nullptr);
    EXPECT_EQ(ImcBufferRemaining(frame), 0);

    ImcMessage s = Command(0);
    ASSERT_EQ(ImcSetCommunity(s, "", ""), ImcErrNone);
    const Bytes big(ImcFrameCapacity - 40, 'x');
    ASSERT_EQ(ImcAddVarBind(s, 1, 1, ImcTagOctetString, big.data(), static_cast<int>(big.size())), ImcErrNone);
    EXPECT_EQ(EncodeFrame(s, frame, test::FixedClock), ImcErrEncode);
    EXPECT_EQ(frame.bytes, nullptr);

    // The largest frame that fits is exactly the buffer.
    ImcMessage f = Command(0);
    ASSERT_EQ(ImcSetLocalHostName(f, std::string(ImcFrameCapacity - 15, 'h').c_str()), ImcErrNone);
    ASSERT_EQ(EncodeFrame(f, frame, test::FixedClock), ImcErrNone);
    EXPECT_EQ(frame.position, 0);
    EXPECT_EQ(ImcBufferRemaining(frame), ImcFrameCapacity);
}

TEST(ImcFrameEncode, ReusedBufferIsWrittenOnlyAtItsEnd) {
    ImcBuffer frame;
    ASSERT_EQ(ImcBufferAllocate(frame, ImcFrameCapacity), ImcErrNone);
    std::memset(frame.bytes.get(), 0xAA, ImcFrameCapacity);
    uint8_t* const storage = frame.bytes.get();
    ImcMessage m = Command(ImcFlagSupplied);
    ASSERT_EQ(EncodeFrame(m, frame, test::FixedClock), ImcErrNone);
    EXPECT_EQ(frame.bytes.get(), storage);
    EXPECT_EQ(frame.position, ImcFrameCapacity - 14);
    for (int i = 0; i < frame.position; ++i) ASSERT_EQ(frame.bytes[i], 0xAA) << i;
    // A second frame in the same buffer replaces the first.
    ImcMessage q = Command(0x380);
    ASSERT_EQ(EncodeFrame(q, frame, test::FixedClock), ImcErrNone);
    EXPECT_EQ(test::Unread(frame), Hex("49 4D 43 43 00 00 03 80") + Hex(kMacHex));
}

TEST(ImcFrameEncode, SystemClockIsUsedWithoutAClock) {
    ImcMessage m = Command(ImcFlagTime);
    const uint32_t before = ImcSystemClock();
    ImcBuffer frame;
    ASSERT_EQ(EncodeFrame(m, frame), ImcErrNone);
    const uint32_t after = ImcSystemClock();
    ASSERT_EQ(ImcBufferRemaining(frame), 18);
    const uint8_t* t = ImcBufferData(frame) + 14;
    const uint32_t written = uint32_t{t[0]} << 24 | uint32_t{t[1]} << 16 | uint32_t{t[2]} << 8 | t[3];
    EXPECT_LE(before, written);
    EXPECT_LE(written, after);
    EXPECT_GT(written, 1600000000u);  // a plausible Unix time, not ticks since boot
}

}  // namespace
}  // namespace holv
