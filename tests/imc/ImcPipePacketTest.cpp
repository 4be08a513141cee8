// The IPv4/UDP packet that carries a frame on the named-pipe path. The
// checksums are the standard IPv4 header sums, worked out beforehand. (The
// packets the transport refuses to unwrap are the network test's pipe case.)
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "imc/ImcPipePacket.h"
#include "imc/ImcTestBytes.h"

namespace holv {
namespace {

using test::Bytes;
using test::Hex;

const Bytes kStatusQuery = Hex("49 4D 43 43 00 00 03 82 00 0C 29 12 34 56");

TEST(ImcPipePacket, HeadersByteForByte) {
    const struct {
        size_t frameSize;
        const char* destination;
        uint16_t id;
        const char* header;
    } cases[] = {
        // No destination known: broadcast.
        {14, "FF FF FF FF", 0, "45 00 00 2A 00 00 00 00 10 11 AA C4 00 00 00 00 FF FF FF FF 22 B8 22 B8 00 16 00 00"},
        // The sum is 0x2FFFF: its first fold carries again.
        {14, "FF FF FF FF", 0xAAC6,
         "45 00 00 2A AA C6 00 00 10 11 FF FD 00 00 00 00 FF FF FF FF 22 B8 22 B8 00 16 00 00"},
        {100, "0A 58 00 02", 0x1234,
         "45 00 00 80 12 34 00 00 10 11 8D E0 00 00 00 00 0A 58 00 02 22 B8 22 B8 00 6C 00 00"},
        // Cut to 2048 bytes.
        {3000, "FF FF FF FF", 9, "45 00 08 1C 00 09 00 00 10 11 A2 C9 00 00 00 00 FF FF FF FF 22 B8 22 B8 08 08 00 00"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.frameSize);
        Bytes frame(c.frameSize);
        for (size_t i = 0; i < frame.size(); ++i) frame[i] = static_cast<uint8_t>(i * 7);
        if (c.frameSize == kStatusQuery.size()) frame = kStatusQuery;
        uint32_t destination;
        std::memcpy(&destination, Hex(c.destination).data(), 4);
        Bytes packet = WrapPipePacket(frame.data(), frame.size(), destination, c.id);
        const size_t carried = std::min<size_t>(c.frameSize, ImcFrameCapacity);
        ASSERT_EQ(packet.size(), 28 + carried);
        EXPECT_EQ(Bytes(packet.begin(), packet.begin() + 28), Hex(c.header));
        EXPECT_EQ(Bytes(packet.begin() + 28, packet.end()), Bytes(frame.begin(), frame.begin() + carried));
    }
}

}  // namespace
}  // namespace holv
