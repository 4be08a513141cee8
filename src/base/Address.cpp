#include "base/Address.h"

#include "base/Text.h"

namespace holv {

uint32_t NetToHost32(uint32_t networkOrder) {
    const auto* b = reinterpret_cast<const uint8_t*>(&networkOrder);
    return (uint32_t{b[0]} << 24) | (uint32_t{b[1]} << 16) | (uint32_t{b[2]} << 8) | uint32_t{b[3]};
}

uint32_t HostToNet32(uint32_t hostOrder) {
    uint32_t out;
    auto* b = reinterpret_cast<uint8_t*>(&out);
    b[0] = static_cast<uint8_t>(hostOrder >> 24);
    b[1] = static_cast<uint8_t>(hostOrder >> 16);
    b[2] = static_cast<uint8_t>(hostOrder >> 8);
    b[3] = static_cast<uint8_t>(hostOrder);
    return out;
}

void FormatIpv4(char* out, size_t cap, const uint8_t bytes[4]) {
    FormatText(out, cap, "%u.%u.%u.%u", bytes[0], bytes[1], bytes[2], bytes[3]);
}

void FormatIpv4(char* out, size_t cap, uint32_t networkOrder) {
    FormatIpv4(out, cap, reinterpret_cast<const uint8_t*>(&networkOrder));
}

bool IsUsableUnicast(uint32_t networkOrder) {
    const auto* b = reinterpret_cast<const uint8_t*>(&networkOrder);
    if (networkOrder == 0) return false;
    if (b[0] == 127) return false;
    return (b[0] & 0xE0) != 0xE0;
}

bool HasAddressInSubnet(const std::vector<HostAddress>& rows, uint32_t applianceIp) {
    for (const HostAddress& row : rows) {
        if (IsUsableUnicast(row.address) && ((row.address ^ applianceIp) & row.mask) == 0) return true;
    }
    return false;
}

}  // namespace holv
