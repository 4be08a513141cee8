#include "imc/ImcPipePacket.h"

#include <cstring>

#include "imc/ImcBuffer.h"

namespace holv {
namespace {

void PutU16(uint8_t* p, uint16_t v) {
    p[0] = static_cast<uint8_t>(v >> 8);
    p[1] = static_cast<uint8_t>(v);
}

}  // namespace

uint16_t Ipv4HeaderChecksum(const uint8_t header[20]) {
    uint32_t sum = 0;
    for (int i = 0; i < 20; i += 2) sum += static_cast<uint32_t>(header[i] << 8 | header[i + 1]);
    while (sum >> 16) sum = (sum & 0xFFFF) + (sum >> 16);
    return static_cast<uint16_t>(~sum);
}

std::vector<uint8_t> WrapPipePacket(const uint8_t* frame, size_t length, uint32_t destination, uint16_t packetId) {
    if (length > static_cast<size_t>(ImcFrameCapacity)) length = ImcFrameCapacity;
    std::vector<uint8_t> packet(kImcPipeHeaderSize + length, 0);
    uint8_t* p = packet.data();
    p[0] = 0x45;
    PutU16(p + 2, static_cast<uint16_t>(length + kImcPipeHeaderSize));
    PutU16(p + 4, packetId);
    p[8] = 16;  // time to live
    p[9] = 17;  // UDP
    std::memcpy(p + 16, &destination, 4);
    PutU16(p + 10, Ipv4HeaderChecksum(p));
    PutU16(p + 20, kImcPort);
    PutU16(p + 22, kImcPort);
    PutU16(p + 24, static_cast<uint16_t>(length + 8));
    if (length) std::memcpy(p + kImcPipeHeaderSize, frame, length);
    return packet;
}

bool UnwrapPipePacket(const uint8_t* packet, size_t length, PipePayload& out) {
    if (length < static_cast<size_t>(kImcPipeHeaderSize) || packet[0] != 0x45 || packet[9] != 17) return false;
    std::memcpy(&out.source, packet + 12, 4);
    out.sourcePort = static_cast<uint16_t>(packet[20] << 8 | packet[21]);
    out.frame = packet + kImcPipeHeaderSize;
    out.length = length - kImcPipeHeaderSize;
    return true;
}

}  // namespace holv
