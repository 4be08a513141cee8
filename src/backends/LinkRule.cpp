#include "backends/LinkRule.h"

#include "base/Text.h"

namespace holv {

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

void FormatIpv4(char* out, size_t cap, const uint8_t bytes[4]) {
    FormatText(out, cap, "%u.%u.%u.%u", bytes[0], bytes[1], bytes[2], bytes[3]);
}

}  // namespace holv
