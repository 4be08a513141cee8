// The IPv4/UDP packet that carries a frame on the named-pipe path. The
// checksums are the standard IPv4 header sums, worked out beforehand.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "imc/ImcBuffer.h"
#include "imc/ImcPipePacket.h"

namespace holv {
namespace {

using Bytes = std::vector<uint8_t>;

const Bytes kStatusQuery = {0x49, 0x4D, 0x43, 0x43, 0x00, 0x00, 0x03, 0x82, 0x00, 0x0C, 0x29, 0x12, 0x34, 0x56};

uint32_t Ip(uint8_t a, uint8_t b, uint8_t c, uint8_t d) {
    const uint8_t bytes[4] = {a, b, c, d};
    uint32_t v;
    std::memcpy(&v, bytes, 4);
    return v;
}

TEST(ImcPipePacket, HeadersByteForByte) {
    struct Case {
        size_t frameSize;
        uint32_t destination;
        uint16_t id;
        Bytes header;
    };
    const Case cases[] = {
        {14,
         0xFFFFFFFFu,
         0,  // no destination known: broadcast
         {0x45, 0x00, 0x00, 0x2A, 0x00, 0x00, 0x00, 0x00, 0x10, 0x11, 0xAA, 0xC4, 0x00, 0x00,
          0x00, 0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0x22, 0xB8, 0x22, 0xB8, 0x00, 0x16, 0x00, 0x00}},
        {14,
         0xFFFFFFFFu,
         65535,  // the sum's carries fold back to the same checksum
         {0x45, 0x00, 0x00, 0x2A, 0xFF, 0xFF, 0x00, 0x00, 0x10, 0x11, 0xAA, 0xC4, 0x00, 0x00,
          0x00, 0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0x22, 0xB8, 0x22, 0xB8, 0x00, 0x16, 0x00, 0x00}},
        {14,
         0xFFFFFFFFu,
         0xAAC6,  // the sum is 0x2FFFF: its first fold carries again
         {0x45, 0x00, 0x00, 0x2A, 0xAA, 0xC6, 0x00, 0x00, 0x10, 0x11, 0xFF, 0xFD, 0x00, 0x00,
          0x00, 0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0x22, 0xB8, 0x22, 0xB8, 0x00, 0x16, 0x00, 0x00}},
        {100, Ip(10, 88, 0, 2), 0x1234, {0x45, 0x00, 0x00, 0x80, 0x12, 0x34, 0x00, 0x00, 0x10, 0x11,
                                         0x8D, 0xE0, 0x00, 0x00, 0x00, 0x00, 0x0A, 0x58, 0x00, 0x02,
                                         0x22, 0xB8, 0x22, 0xB8, 0x00, 0x6C, 0x00, 0x00}},
        {3000,
         0xFFFFFFFFu,
         9,  // cut to 2048 bytes
         {0x45, 0x00, 0x08, 0x1C, 0x00, 0x09, 0x00, 0x00, 0x10, 0x11, 0xA2, 0xC9, 0x00, 0x00,
          0x00, 0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0x22, 0xB8, 0x22, 0xB8, 0x08, 0x08, 0x00, 0x00}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.frameSize);
        Bytes frame(c.frameSize);
        for (size_t i = 0; i < frame.size(); ++i) frame[i] = static_cast<uint8_t>(i * 7);
        if (c.frameSize == kStatusQuery.size()) frame = kStatusQuery;
        Bytes packet = WrapPipePacket(frame.data(), frame.size(), c.destination, c.id);
        const size_t carried = std::min<size_t>(c.frameSize, ImcFrameCapacity);
        ASSERT_EQ(packet.size(), 28 + carried);
        EXPECT_EQ(Bytes(packet.begin(), packet.begin() + 28), c.header);
        EXPECT_EQ(Bytes(packet.begin() + 28, packet.end()), Bytes(frame.begin(), frame.begin() + carried));
    }
}

TEST(ImcPipePacket, UnwrapGivesSenderAndFrame) {
    Bytes packet = WrapPipePacket(kStatusQuery.data(), kStatusQuery.size(), 0xFFFFFFFFu, 3);
    packet[12] = 10, packet[13] = 99, packet[14] = 0, packet[15] = 7;  // source
    packet[20] = 0x12, packet[21] = 0x34;                              // source port
    packet[8] = 1;                                                     // TTL is not checked
    packet[10] = packet[11] = 0;                                       // nor the checksum
    PipePayload out;
    ASSERT_TRUE(UnwrapPipePacket(packet.data(), packet.size(), out));
    EXPECT_EQ(out.source, Ip(10, 99, 0, 7));
    EXPECT_EQ(out.sourcePort, 0x1234);
    EXPECT_EQ(Bytes(out.frame, out.frame + out.length), kStatusQuery);
    Bytes bare = WrapPipePacket(nullptr, 0, 0xFFFFFFFFu, 0);
    ASSERT_TRUE(UnwrapPipePacket(bare.data(), bare.size(), out));
    EXPECT_EQ(out.length, 0u);
    // Short, IPv6's version, TCP.
    EXPECT_FALSE(UnwrapPipePacket(bare.data(), 27, out));
    for (auto [at, value] : {std::pair{0, 0x46}, std::pair{9, 6}}) {
        Bytes bad = packet;
        bad[static_cast<size_t>(at)] = static_cast<uint8_t>(value);
        EXPECT_FALSE(UnwrapPipePacket(bad.data(), bad.size(), out)) << at;
    }
}

}  // namespace
}  // namespace holv
