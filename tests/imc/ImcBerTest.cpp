// BER lengths that lie. The other BER items are read and written only by the
// frame codec, whose tests feed them their edge cases; a length one byte past
// the data is refused again by the buffer behind it, so only here does the
// length check itself show.
#include <gtest/gtest.h>

#include "imc/ImcBer.h"
#include "imc/ImcTestBytes.h"

namespace holv {
namespace {

using test::Bytes;
using test::operator+;
using test::Hex;

// Each case: the bytes after the tag, and the length read (-1: malformed).
TEST(ImcBerRead, LengthsWithinTheData) {
    const std::pair<Bytes, int> cases[] = {
        {Hex("00"), 0},
        {Hex("81 C8") + Bytes(200, 0), 200},
        {Hex("82 01 2C") + Bytes(300, 0), 300},
        {Hex("80"), 0},
        {Hex("88 00 00 00 00 00 00 00 02 AA BB"), 2},  // leading zero length bytes are harmless
        {Hex("FF") + Bytes(127, 0), 0},
        {Hex("05 01 02 03 04"), -1},  // beyond the data
        {Hex("81 C8") + Bytes(199, 0), -1},
        {Hex("84 FF FF FF FF 00"), -1},
        {Hex("84 00 00 01"), -1},  // length bytes cut off
        {Hex("FF") + Bytes(127, 0xFF) + Bytes(64, 0), -1},
        {Hex("FF"), -1},
        {Hex(""), -1},
    };
    for (const auto& [bytes, expected] : cases) {
        ImcBuffer b = test::ReadBuffer(bytes);
        int n = -7;
        int rc = ImcBerReadLength(b, n);
        EXPECT_EQ(rc, expected < 0 ? ImcErrMalformed : ImcErrNone) << bytes.size();
        if (expected >= 0) {
            EXPECT_EQ(n, expected) << bytes.size();
        }
    }
}

}  // namespace
}  // namespace holv
