// BER items byte by byte, and readers fed lengths and contents that lie.
#include <gtest/gtest.h>

#include <cstring>

#include "imc/ImcBer.h"
#include "imc/ImcCodes.h"
#include "imc/ImcTags.h"
#include "imc/ImcTestBytes.h"

namespace holv {
namespace {

using test::Bytes;
using test::operator+;
using test::Hex;

// A write buffer with guard bytes in front: whatever an item writes, the
// guard must stay intact.
struct Writer {
    ImcBuffer b;
    Writer() {
        ImcBufferAllocate(b, ImcFrameCapacity);
        std::memset(b.bytes.get(), 0xAA, ImcFrameCapacity);
        b.position = ImcFrameCapacity;
    }
    Bytes Written() const { return test::Unread(b); }
    bool GuardIntact() const {
        for (int i = 0; i < b.position; ++i) {
            if (b.bytes[i] != 0xAA) return false;
        }
        return true;
    }
};

Bytes IntegerItem(int32_t value, uint8_t tag = ImcTagInteger) {
    Writer w;
    EXPECT_EQ(ImcBerWriteInteger(w.b, tag, value), ImcErrNone);
    EXPECT_TRUE(w.GuardIntact());
    return w.Written();
}

TEST(ImcBerWrite, IntegersAreMinimalTwosComplement) {
    EXPECT_EQ(IntegerItem(0), Hex("02 01 00"));
    EXPECT_EQ(IntegerItem(127), Hex("02 01 7F"));
    EXPECT_EQ(IntegerItem(128), Hex("02 02 00 80"));
    EXPECT_EQ(IntegerItem(200), Hex("02 02 00 C8"));
    EXPECT_EQ(IntegerItem(-1), Hex("02 01 FF"));
    EXPECT_EQ(IntegerItem(-128), Hex("02 01 80"));
    EXPECT_EQ(IntegerItem(-129), Hex("02 02 FF 7F"));
    EXPECT_EQ(IntegerItem(static_cast<int32_t>(0xFFFFFFFFu)), Hex("02 01 FF"));
    EXPECT_EQ(IntegerItem(0x7FFFFFFF), Hex("02 04 7F FF FF FF"));
    EXPECT_EQ(IntegerItem(INT32_MIN), Hex("02 04 80 00 00 00"));
    EXPECT_EQ(IntegerItem(65536), Hex("02 03 01 00 00"));
    // Every integer-like type is written with its own tag.
    EXPECT_EQ(IntegerItem(14, ImcTagGauge), Hex("42 01 0E"));
    EXPECT_EQ(IntegerItem(1, ImcTagApplication16), Hex("50 01 01"));
}

Bytes HeaderItem(uint8_t tag, int length) {
    Writer w;
    EXPECT_EQ(ImcBerWriteHeader(w.b, tag, length), ImcErrNone);
    EXPECT_TRUE(w.GuardIntact());
    return w.Written();
}

TEST(ImcBerWrite, LengthsShortAndLong) {
    EXPECT_EQ(HeaderItem(0x30, 0), Hex("30 00"));
    EXPECT_EQ(HeaderItem(0x30, 127), Hex("30 7F"));
    EXPECT_EQ(HeaderItem(0x30, 128), Hex("30 81 80"));
    EXPECT_EQ(HeaderItem(0x04, 200), Hex("04 81 C8"));
    EXPECT_EQ(HeaderItem(0x04, 300), Hex("04 82 01 2C"));
    EXPECT_EQ(HeaderItem(0x04, 65536), Hex("04 83 01 00 00"));
    EXPECT_EQ(HeaderItem(0x04, 0x7FFFFFFF), Hex("04 84 7F FF FF FF"));
    Writer w;
    EXPECT_EQ(ImcBerWriteHeader(w.b, 0x04, -1), ImcErrEncode);
}

TEST(ImcBerWrite, StringsContentThenHeader) {
    Writer w;
    ASSERT_EQ(ImcBerWriteString(w.b, ImcTagOctetString, ":", 1), ImcErrNone);
    EXPECT_EQ(w.Written(), Hex("04 01 3A"));
    Writer e;
    ASSERT_EQ(ImcBerWriteString(e.b, ImcTagOctetString, "", 0), ImcErrNone);
    EXPECT_EQ(e.Written(), Hex("04 00"));
    Bytes big(300, 0x5A);
    Writer l;
    ASSERT_EQ(ImcBerWriteString(l.b, ImcTagOctetString, big.data(), 300), ImcErrNone);
    EXPECT_EQ(l.Written(), Hex("04 82 01 2C") + big);
    EXPECT_TRUE(l.GuardIntact());
}

ImcOid Oid(std::initializer_list<uint32_t> ids) {
    ImcOid oid;
    for (uint32_t id : ids) oid.ids[oid.count++] = id;
    return oid;
}

Bytes OidItem(const ImcOid& oid) {
    Writer w;
    EXPECT_EQ(ImcBerWriteOid(w.b, oid), ImcErrNone);
    EXPECT_TRUE(w.GuardIntact());
    return w.Written();
}

TEST(ImcBerWrite, ObjectIdentifiers) {
    EXPECT_EQ(OidItem(Oid({1, 3, 6, 1, 4, 1})), Hex("06 05 2B 06 01 04 01"));
    EXPECT_EQ(OidItem(Oid({1, 3, 8888, 61440, 0})), Hex("06 07 2B C5 38 83 E0 00 00"));
    EXPECT_EQ(OidItem(Oid({0, 0})), Hex("06 01 00"));
    EXPECT_EQ(OidItem(Oid({1, 3, 0xFFFFFFFF})), Hex("06 06 2B 8F FF FF FF 7F"));
    // The appliance variable 61440.61568 under enterprise 61253.
    EXPECT_EQ(OidItem(ImcVariableName(0xF000, 0xF080)),
              Hex("06 12 2B 06 01 04 01 83 DE 45 C5 38 01 83 E0 00 83 E1 00 00"));
}

TEST(ImcBerWrite, ObjectIdentifierNeedsTwoSubIdentifiers) {
    Writer w;
    EXPECT_EQ(ImcBerWriteOid(w.b, Oid({1})), ImcErrMalformed);
    EXPECT_EQ(ImcBerWriteOid(w.b, Oid({})), ImcErrMalformed);
    // A first pair that cannot be combined into 32 bits.
    EXPECT_EQ(ImcBerWriteOid(w.b, Oid({0xFFFFFFFF, 1})), ImcErrMalformed);
    EXPECT_EQ(w.b.position, ImcFrameCapacity);
}

TEST(ImcBerWrite, FullBufferGivesEncodeError) {
    ImcBuffer b;
    ASSERT_EQ(ImcBufferAllocate(b, 3), ImcErrNone);
    b.position = 3;
    EXPECT_EQ(ImcBerWriteInteger(b, ImcTagInteger, 200), ImcErrEncode);  // needs 4
    ImcBuffer c;
    ASSERT_EQ(ImcBufferAllocate(c, 3), ImcErrNone);
    c.position = 3;
    EXPECT_EQ(ImcBerWriteHeader(c, 0x04, 300), ImcErrEncode);
    ImcBuffer d;
    ASSERT_EQ(ImcBufferAllocate(d, 6), ImcErrNone);
    d.position = 6;
    EXPECT_EQ(ImcBerWriteOid(d, Oid({1, 3, 6, 1, 4, 1})), ImcErrEncode);
}

// ---- Reading

int ReadInteger(const Bytes& bytes, int32_t& value, int* left = nullptr) {
    ImcBuffer b = test::ReadBuffer(bytes);
    int rc = ImcBerReadInteger(b, value);
    if (left) *left = ImcBufferRemaining(b);
    return rc;
}

TEST(ImcBerRead, Integers) {
    int32_t v = 99;
    ASSERT_EQ(ReadInteger(Hex("00"), v), ImcErrNone);  // empty content
    EXPECT_EQ(v, 0);
    ASSERT_EQ(ReadInteger(Hex("01 80"), v), ImcErrNone);
    EXPECT_EQ(v, -128);
    ASSERT_EQ(ReadInteger(Hex("02 00 C8"), v), ImcErrNone);
    EXPECT_EQ(v, 200);
    ASSERT_EQ(ReadInteger(Hex("02 FF 7F"), v), ImcErrNone);
    EXPECT_EQ(v, -129);
    ASSERT_EQ(ReadInteger(Hex("04 80 00 00 00"), v), ImcErrNone);
    EXPECT_EQ(v, INT32_MIN);
    // Over-long contents: only the last four bytes count.
    ASSERT_EQ(ReadInteger(Hex("05 00 FF FF FF FF"), v), ImcErrNone);
    EXPECT_EQ(static_cast<uint32_t>(v), 0xFFFFFFFFu);
    int left = -1;
    ASSERT_EQ(ReadInteger(Hex("09 80 11 22 33 44 01 02 03 04 EE"), v, &left), ImcErrNone);
    EXPECT_EQ(v, 0x01020304);
    EXPECT_EQ(left, 1);
}

TEST(ImcBerRead, IntegerLengthBeyondTheDataIsMalformed) {
    int32_t v = 7;
    EXPECT_EQ(ReadInteger(Hex("02 01"), v), ImcErrMalformed);
    EXPECT_EQ(ReadInteger(Hex(""), v), ImcErrMalformed);
    EXPECT_EQ(ReadInteger(Hex("81"), v), ImcErrMalformed);
}

int ReadLength(const Bytes& bytes, int& length) {
    ImcBuffer b = test::ReadBuffer(bytes);
    return ImcBerReadLength(b, length);
}

TEST(ImcBerRead, Lengths) {
    int n = -1;
    ASSERT_EQ(ReadLength(Hex("00"), n), ImcErrNone);
    EXPECT_EQ(n, 0);
    ASSERT_EQ(ReadLength(Hex("81 C8") + Bytes(200, 0), n), ImcErrNone);
    EXPECT_EQ(n, 200);
    ASSERT_EQ(ReadLength(Hex("82 01 2C") + Bytes(300, 0), n), ImcErrNone);
    EXPECT_EQ(n, 300);
    ASSERT_EQ(ReadLength(Hex("80"), n), ImcErrNone);  // no length bytes: 0
    EXPECT_EQ(n, 0);
    // Many leading zero length bytes are harmless.
    ASSERT_EQ(ReadLength(Hex("88 00 00 00 00 00 00 00 02 AA BB"), n), ImcErrNone);
    EXPECT_EQ(n, 2);
    ASSERT_EQ(ReadLength(Hex("FF") + Bytes(127, 0), n), ImcErrNone);
    EXPECT_EQ(n, 0);
}

TEST(ImcBerRead, LengthsBeyondTheDataAreMalformed) {
    int n = 0;
    EXPECT_EQ(ReadLength(Hex("05 01 02 03 04"), n), ImcErrMalformed);
    EXPECT_EQ(ReadLength(Hex("81 C8") + Bytes(199, 0), n), ImcErrMalformed);
    EXPECT_EQ(ReadLength(Hex("84 FF FF FF FF 00"), n), ImcErrMalformed);
    EXPECT_EQ(ReadLength(Hex("84 00 00 01"), n), ImcErrMalformed);  // length bytes cut off
    // 127 length bytes of FF: would overflow any integer.
    EXPECT_EQ(ReadLength(Hex("FF") + Bytes(127, 0xFF) + Bytes(64, 0), n), ImcErrMalformed);
    EXPECT_EQ(ReadLength(Hex("FF"), n), ImcErrMalformed);
    EXPECT_EQ(ReadLength(Hex(""), n), ImcErrMalformed);
}

int ReadOid(const Bytes& bytes, ImcOid& oid) {
    ImcBuffer b = test::ReadBuffer(bytes);
    return ImcBerReadOid(b, oid);
}

TEST(ImcBerRead, ObjectIdentifiers) {
    ImcOid oid;
    ASSERT_EQ(ReadOid(Hex("05 2B 06 01 04 01"), oid), ImcErrNone);
    ASSERT_EQ(oid.count, 6);
    EXPECT_EQ((std::vector<uint32_t>(oid.ids, oid.ids + 6)), (std::vector<uint32_t>{1, 3, 6, 1, 4, 1}));
    ASSERT_EQ(ReadOid(Hex("07 2B C5 38 83 E0 00 00"), oid), ImcErrNone);
    ASSERT_EQ(oid.count, 5);
    EXPECT_EQ(oid.ids[2], 8888u);
    EXPECT_EQ(oid.ids[3], 61440u);
    EXPECT_EQ(oid.ids[4], 0u);
    ASSERT_EQ(ReadOid(Hex("06 2B 8F FF FF FF 7F"), oid), ImcErrNone);
    EXPECT_EQ(oid.ids[2], 0xFFFFFFFFu);
    ASSERT_EQ(ReadOid(Hex("01 00"), oid), ImcErrNone);
    EXPECT_EQ(oid.count, 2);
}

TEST(ImcBerRead, MultiByteFirstSubIdentifierIsReadWhole) {
    // 5 * 40 + 18 = 218 is written 81 5A; it must come back as 5.18, not
    // as 0x81 split into 3.9 followed by a stray 90.
    ImcOid oid;
    ASSERT_EQ(ReadOid(Hex("03 81 5A 07"), oid), ImcErrNone);
    ASSERT_EQ(oid.count, 3);
    EXPECT_EQ(oid.ids[0], 5u);
    EXPECT_EQ(oid.ids[1], 18u);
    EXPECT_EQ(oid.ids[2], 7u);
    EXPECT_EQ(OidItem(Oid({5, 18, 7})), Hex("06 03 81 5A 07"));
    EXPECT_EQ(ReadOid(Hex("01 81"), oid), ImcErrMalformed);
}

TEST(ImcBerRead, ObjectIdentifierLimits) {
    ImcOid oid;
    // 32 sub-identifiers: the first byte gives two, 30 more follow.
    ASSERT_EQ(ReadOid(Hex("1F 2B") + Bytes(30, 0x01), oid), ImcErrNone);
    EXPECT_EQ(oid.count, 32);
    EXPECT_EQ(ReadOid(Hex("20 2B") + Bytes(31, 0x01), oid), ImcErrMalformed);  // 33
    EXPECT_EQ(ReadOid(Hex("7F 2B") + Bytes(126, 0x01), oid), ImcErrMalformed);
    EXPECT_EQ(ReadOid(Hex("00"), oid), ImcErrMalformed);                  // empty
    EXPECT_EQ(ReadOid(Hex("06 2B 90 80 80 80 00"), oid), ImcErrMalformed);  // 2^32
    EXPECT_EQ(ReadOid(Hex("0A 2B FF FF FF FF FF FF FF FF 7F"), oid), ImcErrMalformed);
    EXPECT_EQ(ReadOid(Hex("02 2B 86"), oid), ImcErrMalformed);  // continuation past the length
    EXPECT_EQ(ReadOid(Hex("02 2B 86 01"), oid), ImcErrMalformed);  // ...even with data after it
    EXPECT_EQ(ReadOid(Hex("03 2B 06"), oid), ImcErrMalformed);  // length past the data
}

TEST(ImcBerRead, StringsAndHeaders) {
    ImcBuffer b = test::ReadBuffer(Hex("04 03 61 62 63 05"));
    uint8_t tag;
    int length;
    ASSERT_EQ(ImcBerReadTag(b, tag), ImcErrNone);
    EXPECT_EQ(tag, 0x04);
    Bytes bytes;
    ASSERT_EQ(ImcBerReadString(b, bytes), ImcErrNone);
    EXPECT_EQ(bytes, test::Text("abc"));
    EXPECT_EQ(ImcBerReadHeader(b, tag, length), ImcErrMalformed);  // tag without length

    ImcBuffer c = test::ReadBuffer(Hex("04 61 62"));
    std::string text;
    EXPECT_EQ(ImcBerReadString(c, text), ImcErrMalformed);
}

TEST(ImcBerRead, ItemsStayInsideTheirSpan) {
    // An integer that claims 4 bytes inside a 3-byte span is malformed even
    // though the buffer has more bytes after the span.
    ImcBuffer b = test::ReadBuffer(Hex("04 01 02 03 04 05"));
    int outer;
    ASSERT_EQ(ImcBufferEnter(b, 3, outer), 0);
    int32_t v;
    EXPECT_EQ(ImcBerReadInteger(b, v), ImcErrMalformed);
}

}  // namespace
}  // namespace holv
