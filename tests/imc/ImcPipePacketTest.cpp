// The IPv4/UDP packet that carries a frame on the named-pipe path.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "imc/ImcBuffer.h"
#include "imc/ImcPipePacket.h"

namespace holv {
namespace {

using Bytes = std::vector<uint8_t>;

uint32_t NetworkOrder(uint8_t a, uint8_t b, uint8_t c, uint8_t d) {
    const uint8_t bytes[4] = {a, b, c, d};
    uint32_t v;
    std::memcpy(&v, bytes, 4);
    return v;
}

// The one's-complement sum of a header that carries its checksum folds to
// 0xFFFF: the receiver's check.
uint16_t FoldedSum(const uint8_t* header) {
    uint32_t sum = 0;
    for (int i = 0; i < 20; i += 2) sum += static_cast<uint32_t>(header[i] << 8 | header[i + 1]);
    while (sum >> 16) sum = (sum & 0xFFFF) + (sum >> 16);
    return static_cast<uint16_t>(sum);
}

const Bytes kStatusQuery = {0x49, 0x4D, 0x43, 0x43, 0x00, 0x00, 0x03, 0x82, 0x00, 0x0C, 0x29, 0x12, 0x34, 0x56};

TEST(ImcPipePacket, HeaderIsByteExact) {
    Bytes packet = WrapPipePacket(kStatusQuery.data(), kStatusQuery.size(), 0xFFFFFFFFu, 0);
    const Bytes header = {
        0x45, 0x00, 0x00, 0x2A,  // version/length, TOS, total 14 + 28
        0x00, 0x00, 0x00, 0x00,  // identification 0, no fragments
        0x10, 0x11, 0xAA, 0xC4,  // TTL 16, UDP, checksum (computed by hand)
        0x00, 0x00, 0x00, 0x00,  // source 0.0.0.0
        0xFF, 0xFF, 0xFF, 0xFF,  // destination: none known, broadcast
        0x22, 0xB8, 0x22, 0xB8,  // ports 8888, 8888
        0x00, 0x16, 0x00, 0x00,  // UDP length 14 + 8, no checksum
    };
    ASSERT_EQ(packet.size(), 28u + kStatusQuery.size());
    EXPECT_EQ(Bytes(packet.begin(), packet.begin() + 28), header);
    EXPECT_EQ(Bytes(packet.begin() + 28, packet.end()), kStatusQuery);
}

TEST(ImcPipePacket, ChecksumAgainstAKnownValueAndByRecomputation) {
    Bytes frame(100, 0x5A);
    Bytes packet = WrapPipePacket(frame.data(), frame.size(), NetworkOrder(10, 88, 0, 2), 0x1234);
    EXPECT_EQ(packet[10], 0x8D);
    EXPECT_EQ(packet[11], 0xE0);
    EXPECT_EQ(FoldedSum(packet.data()), 0xFFFF);
    // Recompute over the header with the field zeroed.
    uint8_t header[20];
    std::memcpy(header, packet.data(), 20);
    header[10] = header[11] = 0;
    uint16_t sum = Ipv4HeaderChecksum(header);
    EXPECT_EQ(packet[10], sum >> 8);
    EXPECT_EQ(packet[11], sum & 0xFF);
    EXPECT_EQ(Bytes(packet.begin() + 16, packet.begin() + 20), (Bytes{10, 88, 0, 2}));
    EXPECT_EQ(packet[4], 0x12);
    EXPECT_EQ(packet[5], 0x34);
}

TEST(ImcPipePacket, ChecksumCarriesAreFoldedBack) {
    // Words that overflow 16 bits more than once.
    uint8_t header[20];
    std::memset(header, 0xFF, sizeof header);
    header[10] = header[11] = 0;
    // Nine words of 0xFFFF: the folded sum is 0xFFFF, its complement 0.
    EXPECT_EQ(Ipv4HeaderChecksum(header), 0x0000);
    header[0] = 0x45;
    header[1] = 0x00;
    uint16_t sum = Ipv4HeaderChecksum(header);
    header[10] = static_cast<uint8_t>(sum >> 8);
    header[11] = static_cast<uint8_t>(sum);
    EXPECT_EQ(FoldedSum(header), 0xFFFF);
}

TEST(ImcPipePacket, LongFrameIsCutTo2048Bytes) {
    Bytes frame(3000);
    for (size_t i = 0; i < frame.size(); ++i) frame[i] = static_cast<uint8_t>(i * 7);
    Bytes packet = WrapPipePacket(frame.data(), frame.size(), 0xFFFFFFFFu, 9);
    ASSERT_EQ(packet.size(), 2076u);
    EXPECT_EQ(packet[2] << 8 | packet[3], 2076);
    EXPECT_EQ(packet[24] << 8 | packet[25], 2048 + 8);
    EXPECT_EQ(Bytes(packet.begin() + 28, packet.end()), Bytes(frame.begin(), frame.begin() + ImcFrameCapacity));
    EXPECT_EQ(FoldedSum(packet.data()), 0xFFFF);
}

TEST(ImcPipePacket, IdentificationIsStoredBigEndian) {
    Bytes a = WrapPipePacket(kStatusQuery.data(), kStatusQuery.size(), 0xFFFFFFFFu, 65535);
    Bytes b = WrapPipePacket(kStatusQuery.data(), kStatusQuery.size(), 0xFFFFFFFFu, 0);
    EXPECT_EQ(a[4], 0xFF);
    EXPECT_EQ(a[5], 0xFF);
    EXPECT_EQ(b[4], 0x00);
    EXPECT_EQ(b[5], 0x00);
    EXPECT_EQ(FoldedSum(a.data()), 0xFFFF);
}

TEST(ImcPipePacket, UnwrapGivesSenderAndFrame) {
    Bytes packet = WrapPipePacket(kStatusQuery.data(), kStatusQuery.size(), 0xFFFFFFFFu, 3);
    packet[12] = 10, packet[13] = 99, packet[14] = 0, packet[15] = 7;  // source
    packet[20] = 0x12, packet[21] = 0x34;                              // source port
    packet[8] = 1;                                                     // TTL is not checked
    packet[10] = packet[11] = 0;                                       // nor the checksum
    PipePayload out;
    ASSERT_TRUE(UnwrapPipePacket(packet.data(), packet.size(), out));
    EXPECT_EQ(out.source, NetworkOrder(10, 99, 0, 7));
    EXPECT_EQ(out.sourcePort, 0x1234);
    ASSERT_EQ(out.length, kStatusQuery.size());
    EXPECT_EQ(Bytes(out.frame, out.frame + out.length), kStatusQuery);
}

TEST(ImcPipePacket, UnwrapAcceptsABareHeaderOf28Bytes) {
    Bytes packet = WrapPipePacket(nullptr, 0, 0xFFFFFFFFu, 0);
    ASSERT_EQ(packet.size(), 28u);
    PipePayload out;
    ASSERT_TRUE(UnwrapPipePacket(packet.data(), packet.size(), out));
    EXPECT_EQ(out.length, 0u);
}

TEST(ImcPipePacket, UnwrapRejectsShortWrongVersionAndWrongProtocol) {
    Bytes good = WrapPipePacket(kStatusQuery.data(), kStatusQuery.size(), 0xFFFFFFFFu, 0);
    PipePayload out;
    EXPECT_FALSE(UnwrapPipePacket(good.data(), 27, out));
    Bytes v6 = good;
    v6[0] = 0x46;
    EXPECT_FALSE(UnwrapPipePacket(v6.data(), v6.size(), out));
    Bytes tcp = good;
    tcp[9] = 6;
    EXPECT_FALSE(UnwrapPipePacket(tcp.data(), tcp.size(), out));
    EXPECT_TRUE(UnwrapPipePacket(good.data(), good.size(), out));
}

}  // namespace
}  // namespace holv
