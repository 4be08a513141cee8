// The named-pipe path carries each IMC frame inside a minimal IPv4/UDP
// packet, one packet per pipe message, as a virtual serial link would.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

namespace holv {

inline constexpr int kImcPipeHeaderSize = 28;
inline constexpr uint16_t kImcPort = 8888;

// Internet checksum (RFC 1071) over the 20-byte IPv4 header whose checksum
// field is 0; the result is to be stored big-endian.
uint16_t Ipv4HeaderChecksum(const uint8_t header[20]);

// Wraps a frame (cut to its first 2048 bytes) for the pipe: source 0.0.0.0,
// destination `destination` (network order), both ports 8888, TTL 16.
std::vector<uint8_t> WrapPipePacket(const uint8_t* frame, size_t length, uint32_t destination, uint16_t packetId);

struct PipePayload {
    uint32_t source = 0;  // network order
    uint16_t sourcePort = 0;
    const uint8_t* frame = nullptr;
    size_t length = 0;
};

// Accepts a received packet of at least 28 bytes with version/length byte
// 0x45 and protocol 17; nothing else in the header is checked.
bool UnwrapPipePacket(const uint8_t* packet, size_t length, PipePayload& out);

}  // namespace holv
