// Frames the host builds, byte for byte. (The simulator's replies and
// notifications are read back by every end-to-end run.)
#include <gtest/gtest.h>

#include <cstring>
#include <functional>

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

const uint8_t kMac[6] = {0x00, 0x0C, 0x29, 0x12, 0x34, 0x56};
const char* const kMacHex = "00 0C 29 12 34 56";

Bytes Block(int n, uint8_t first) {
    Bytes b;
    for (int i = 0; i < n; ++i) b.push_back(static_cast<uint8_t>(first + i));
    return b;
}

// A command to kMac with the flags and an SNMP request when `type` is given.
ImcMessage Command(uint32_t flags, int type = -1, int requestId = 0) {
    ImcMessage m;
    std::memcpy(m.mac, kMac, 6);
    ImcSetFlags(m, flags);
    if (type >= 0) {
        ImcSetCommunity(m, "", "");
        ImcSetPduType(m, static_cast<uint8_t>(type));
        m.pdu->requestId = requestId;
    }
    return m;
}

TEST(ImcFrameEncode, FramesByteForByte) {
    static const Bytes b16 = Block(16, 0x01), b128 = Block(128, 0x80), text300(300, 'x');
    struct Case {
        const char* what;
        std::function<ImcMessage()> build;
        Bytes frame;
    };
    const Case cases[] = {
        {"status query", [] { return Command(0x380 | ImcFlagLongWait); },
         Hex("49 4D 43 43 00 00 03 82") + Hex(kMacHex)},
        {"shutdown", [] { return Command(ImcFlagSupplied); }, Hex("49 4D 43 43 00 00 00 01") + Hex(kMacHex)},
        {"a new message: a command to every appliance", [] { return ImcMessage(); },
         Hex("49 4D 43 43 00 00 00 00 FF FF FF FF FF FF")},
        {"host identity with blocks and time",
         [] {
             ImcMessage m = Command(ImcFlagTime);
             ImcSetLocalHostName(m, "HOST-PC");
             ImcSetBlock16(m, b16.data());
             ImcSetBlock128(m, b128.data());
             return m;
         },
         Hex("49 4D 43 43 00 0F 00 00") + Hex(kMacHex) + Text("HOST-PC") + Hex("00") + b16 + b128 + Hex("5F 5E 10 00")},
        {"set request with a string",
         [] {
             ImcMessage m = Command(ImcFlagLongWait, ImcPduSetRequest, 7);
             ImcAddVarBind(m, 0xF000, 0xF092, ImcTagOctetString, "abc", -1);
             return m;
         },
         Hex("49 4D 43 43 80 00 00 02") + Hex(kMacHex) +
             Hex("30 2E 02 01 00 04 01 3A A3 26 02 01 07 02 01 00 02 01 00"
                 " 30 1B 30 19 06 12 2B 06 01 04 01 83 DE 45 C5 38 01 83 E0 00 83 E1 12 00 04 03 61 62 63")},
        {"a long string: long lengths",
         [] {
             ImcMessage m = Command(0, ImcPduGetRequest);
             ImcAddVarBind(m, 1, 2, ImcTagOctetString, text300.data(), 300);
             return m;
         },
         Hex("49 4D 43 43 80 00 00 00") + Hex(kMacHex) +
             Hex("30 82 01 5B 02 01 00 04 01 3A A0 82 01 51 02 01 00 02 01 00 02 01 00 30 82 01 44 30 82 01 40"
                 " 06 0E 2B 06 01 04 01 83 DE 45 C5 38 01 01 02 00 04 82 01 2C") +
             text300},
        {"bindings in the order added",
         [] {
             ImcMessage m = Command(0, ImcPduGetRequest);
             const int32_t one = 1, two = 2;
             ImcAddVarBind(m, 1, 1, ImcTagInteger, &one, 4);
             ImcAddVarBind(m, 1, 2, ImcTagInteger, &two, 4);
             return m;
         },
         Hex("49 4D 43 43 80 00 00 00") + Hex(kMacHex) +
             Hex("30 3D 02 01 00 04 01 3A A0 35 02 01 00 02 01 00 02 01 00 30 2A"
                 " 30 13 06 0E 2B 06 01 04 01 83 DE 45 C5 38 01 01 01 00 02 01 01"
                 " 30 13 06 0E 2B 06 01 04 01 83 DE 45 C5 38 01 01 02 00 02 01 02")},
        {"a command's block16 without a host name",
         [] {
             ImcMessage m = Command(0);
             ImcSetBlock16(m, b16.data());
             return m;
         },
         Hex("49 4D 43 43 00 02 00 00") + Hex(kMacHex) + b16},
    };
    for (const Case& c : cases) {
        ImcMessage m = c.build();
        EXPECT_EQ(test::Encode(m), c.frame) << c.what;
    }
}

// The value types the program sends (integer, string, none), and the edges
// of integers (minimal two's complement) and lengths.
TEST(ImcFrameEncode, SentValueTypesAndTheirEdges) {
    const int32_t ints[] = {-1, 127, 128, -128, -129, INT32_MIN};
    const Bytes text(128, 'x');
    const struct {
        uint8_t type;
        const void* value;
        int length;
        Bytes item;
    } cases[] = {
        {ImcTagInteger, &ints[1], 4, Hex("02 01 7F")},
        {ImcTagInteger, &ints[2], 4, Hex("02 02 00 80")},
        {ImcTagInteger, &ints[3], 4, Hex("02 01 80")},
        {ImcTagInteger, &ints[4], 4, Hex("02 02 FF 7F")},
        {ImcTagInteger, &ints[5], 4, Hex("02 04 80 00 00 00")},
        {ImcTagOctetString, "", 0, Hex("04 00")},
        {ImcTagOctetString, text.data(), 127, Hex("04 7F") + Bytes(127, 'x')},
        {ImcTagOctetString, text.data(), 128, Hex("04 81 80") + text},
        {ImcTagInteger, nullptr, 0, Hex("05 00")},  // no value: NULL
    };
    for (const auto& c : cases) {
        ImcMessage m = Command(0, ImcPduGetRequest);
        ASSERT_EQ(ImcAddVarBind(m, 1, 2, c.type, c.value, c.length), ImcErrNone);
        const Bytes frame = test::Encode(m);
        ASSERT_GT(frame.size(), c.item.size());
        EXPECT_EQ(Bytes(frame.end() - static_cast<long>(c.item.size()), frame.end()), c.item) << c.item.size();
    }
}

TEST(ImcFrameEncode, MissingPartsAreMalformed) {
    const uint32_t one[1] = {1}, wide[2] = {0xFFFFFFFF, 1};
    const std::function<ImcMessage()> cases[] = {
        [&] {  // an OID value too short to write
            ImcMessage m = Command(0, ImcPduGetRequest);
            ImcAddVarBind(m, 1, 1, ImcTagOid, one, 1);
            return m;
        },
        [&] {  // a first pair beyond 32 bits
            ImcMessage m = Command(0, ImcPduGetRequest);
            ImcAddVarBind(m, 1, 1, ImcTagOid, wide, 2);
            return m;
        },
        [] { return Command(ImcFlagBlock128); },  // flagged blocks that are absent
        [] { return Command(ImcFlagBlock16); },
        [] { return Command(ImcFlagSnmp); },  // the SNMP bit with nothing behind it
    };
    for (const auto& build : cases) {
        ImcMessage m = build();
        int rc = 0;
        EXPECT_TRUE(test::Encode(m, &rc).empty());
        EXPECT_EQ(rc, ImcErrMalformed);
    }
}

TEST(ImcFrameEncode, OversizedFrameFailsAndHandsOutNoBuffer) {
    ImcBuffer frame;
    for (int size : {ImcFrameCapacity - 14, ImcFrameCapacity}) {
        ImcMessage m = Command(0);
        ASSERT_EQ(ImcSetLocalHostName(m, std::string(static_cast<size_t>(size), 'h').c_str()), ImcErrNone);
        EXPECT_EQ(EncodeFrame(m, frame, test::FixedClock), ImcErrEncode);
        EXPECT_EQ(frame.bytes, nullptr);
    }
    ImcMessage s = Command(0, ImcPduGetRequest);
    const Bytes big(ImcFrameCapacity - 40, 'x');
    ASSERT_EQ(ImcAddVarBind(s, 1, 1, ImcTagOctetString, big.data(), static_cast<int>(big.size())), ImcErrNone);
    EXPECT_EQ(EncodeFrame(s, frame, test::FixedClock), ImcErrEncode);
    EXPECT_EQ(frame.bytes, nullptr);
    // The largest frame that fits fills the buffer exactly.
    ImcMessage f = Command(0);
    ASSERT_EQ(ImcSetLocalHostName(f, std::string(ImcFrameCapacity - 15, 'h').c_str()), ImcErrNone);
    ASSERT_EQ(EncodeFrame(f, frame, test::FixedClock), ImcErrNone);
    EXPECT_EQ(frame.position, 0);
    EXPECT_EQ(ImcBufferRemaining(frame), ImcFrameCapacity);
}

}  // namespace
}  // namespace holv
