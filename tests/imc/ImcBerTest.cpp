// BER items byte by byte, and readers fed lengths and contents that lie.
#include <gtest/gtest.h>

#include <cstring>

#include "imc/ImcBer.h"
#include "imc/ImcOid.h"
#include "imc/ImcTags.h"
#include "imc/ImcTestBytes.h"

namespace holv {
namespace {

using test::Bytes;
using test::operator+;
using test::Hex;

// Writes one item into a buffer with guard bytes in front; the guard must
// stay intact. Empty on failure.
template <typename F>
Bytes Written(F write, int capacity = ImcFrameCapacity) {
    ImcBuffer b;
    ImcBufferAllocate(b, capacity);
    std::memset(b.bytes.get(), 0xAA, static_cast<size_t>(capacity));
    b.position = capacity;
    if (write(b) != ImcErrNone) return {};
    for (int i = 0; i < b.position; ++i) EXPECT_EQ(b.bytes[i], 0xAA) << "guard byte " << i;
    return test::Unread(b);
}

ImcOid Oid(std::initializer_list<uint32_t> ids) {
    ImcOid oid;
    for (uint32_t id : ids) oid.ids[oid.count++] = id;
    return oid;
}

TEST(ImcBerWrite, IntegersAreMinimalTwosComplement) {
    const std::pair<int32_t, const char*> cases[] = {
        {127, "02 01 7F"},
        {128, "02 02 00 80"},
        {-128, "02 01 80"},
        {-129, "02 02 FF 7F"},
        {INT32_MIN, "02 04 80 00 00 00"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Written([&](ImcBuffer& b) { return ImcBerWriteInteger(b, ImcTagInteger, c.first); }), Hex(c.second))
            << c.first;
    EXPECT_EQ(Written([](ImcBuffer& b) { return ImcBerWriteInteger(b, ImcTagGauge, 14); }), Hex("42 01 0E"));
    EXPECT_TRUE(Written([](ImcBuffer& b) { return ImcBerWriteInteger(b, ImcTagInteger, 200); }, 3).empty());
}

TEST(ImcBerWrite, LengthsShortAndLong) {
    const std::pair<int, const char*> cases[] = {
        {127, "04 7F"},
        {128, "04 81 80"},
        {300, "04 82 01 2C"},
        {65536, "04 83 01 00 00"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Written([&](ImcBuffer& b) { return ImcBerWriteHeader(b, 0x04, c.first); }), Hex(c.second)) << c.first;
    EXPECT_TRUE(Written([](ImcBuffer& b) { return ImcBerWriteHeader(b, 0x04, -1); }).empty());
    EXPECT_TRUE(Written([](ImcBuffer& b) { return ImcBerWriteHeader(b, 0x04, 300); }, 3).empty());
}

TEST(ImcBerWrite, ObjectIdentifiers) {
    const std::pair<ImcOid, const char*> cases[] = {
        {Oid({1, 3, 8888, 61440, 0}), "06 07 2B C5 38 83 E0 00 00"},
        {Oid({0, 0}), "06 01 00"},
        {Oid({1, 3, 0xFFFFFFFF}), "06 06 2B 8F FF FF FF 7F"},
        {Oid({5, 18, 7}), "06 03 81 5A 07"},  // a first pair above 127
        // Fewer than two sub-identifiers, or a first pair beyond 32 bits.
        {Oid({1}), ""},
        {Oid({}), ""},
        {Oid({0xFFFFFFFF, 1}), ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Written([&](ImcBuffer& b) { return ImcBerWriteOid(b, c.first); }), Hex(c.second)) << c.second;
    EXPECT_TRUE(Written([](ImcBuffer& b) { return ImcBerWriteOid(b, Oid({1, 3, 6, 1, 4, 1})); }, 6).empty());
}

// Each case: the bytes after the tag, and the value read or "malformed".
TEST(ImcBerRead, IntegersAndLengths) {
    struct Case {
        const char* hex;
        bool ok;
        int64_t value;
        int left;  // bytes after the item
    };
    const Case integers[] = {
        {"01 80", true, -128, 0},
        {"02 FF 7F", true, -129, 0},
        {"04 80 00 00 00", true, INT32_MIN, 0},
        {"05 00 FF FF FF FF", true, -1, 0},  // over-long: the last four bytes count
        {"09 80 11 22 33 44 01 02 03 04 EE", true, 0x01020304, 1},
        {"02 01", false, 0, 0},
        {"81", false, 0, 0},
    };
    for (const Case& c : integers) {
        SCOPED_TRACE(c.hex);
        ImcBuffer b = test::ReadBuffer(Hex(c.hex));
        int32_t v = 0;
        ASSERT_EQ(ImcBerReadInteger(b, v), c.ok ? ImcErrNone : ImcErrMalformed);
        if (c.ok) EXPECT_EQ(v, c.value);
        if (c.ok) EXPECT_EQ(ImcBufferRemaining(b), c.left);
    }
    const Bytes z200(200, 0), z300(300, 0);
    const std::pair<Bytes, int> lengths[] = {
        {Hex("81 C8") + z200, 200},
        {Hex("82 01 2C") + z300, 300},
        {Hex("80"), 0},
        {Hex("88 00 00 00 00 00 00 00 02 AA BB"), 2},  // leading zero length bytes are harmless
        {Hex("FF") + Bytes(127, 0), 0},
        {Hex("05 01 02 03 04"), -1},  // beyond the data
        {Hex("81 C8") + Bytes(199, 0), -1},
        {Hex("84 FF FF FF FF 00"), -1},
        {Hex("84 00 00 01"), -1},  // length bytes cut off
        {Hex("FF") + Bytes(127, 0xFF) + Bytes(64, 0), -1},
    };
    for (const auto& [bytes, expected] : lengths) {
        ImcBuffer b = test::ReadBuffer(bytes);
        int n = -7;
        int rc = ImcBerReadLength(b, n);
        EXPECT_EQ(rc, expected < 0 ? ImcErrMalformed : ImcErrNone) << bytes.size();
        if (expected >= 0) EXPECT_EQ(n, expected) << bytes.size();
    }
}

TEST(ImcBerRead, ObjectIdentifiers) {
    const std::pair<Bytes, std::vector<uint32_t>> cases[] = {
        {Hex("07 2B C5 38 83 E0 00 00"), {1, 3, 8888, 61440, 0}},
        {Hex("06 2B 8F FF FF FF 7F"), {1, 3, 0xFFFFFFFF}},
        {Hex("01 00"), {0, 0}},
        // 218 is written 81 5A: 5.18 whole, not 0x81 split into 3.9 and a stray 90.
        {Hex("03 81 5A 07"), {5, 18, 7}},
        {Hex("1F 2B") + Bytes(30, 0x01),
         [] {
             std::vector<uint32_t> v(32, 1);
             v[1] = 3;
             return v;
         }()},  // the most
        // Malformed: 33 sub-identifiers, empty, beyond 32 bits, continuation
        // past the length, length past the data.
        {Hex("20 2B") + Bytes(31, 0x01), {}},
        {Hex("7F 2B") + Bytes(126, 0x01), {}},
        {Hex("00"), {}},
        {Hex("06 2B 90 80 80 80 00"), {}},
        {Hex("0A 2B FF FF FF FF FF FF FF FF 7F"), {}},
        {Hex("02 2B 86"), {}},
        {Hex("02 2B 86 01"), {}},
        {Hex("01 81"), {}},
        {Hex("03 2B 06"), {}},
    };
    for (const auto& [bytes, ids] : cases) {
        ImcBuffer b = test::ReadBuffer(bytes);
        ImcOid oid;
        int rc = ImcBerReadOid(b, oid);
        EXPECT_EQ(rc, ids.empty() ? ImcErrMalformed : ImcErrNone) << bytes.size();
        if (rc != ImcErrNone || ids.empty()) continue;
        EXPECT_EQ(std::vector<uint32_t>(oid.ids, oid.ids + oid.count), ids);
    }
}

}  // namespace
}  // namespace holv
