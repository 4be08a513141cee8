// Whether the PC has an address in the appliance's subnet: pure, so the rule
// is tested natively.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

namespace holv {

struct HostAddress {
    uint32_t address;  // network order
    uint32_t mask;     // network order
};

// Not 0, not loopback (127/8), not multicast or reserved (224/3).
bool IsUsableUnicast(uint32_t networkOrder);

// A usable host address that shares the appliance's subnet under its mask.
bool HasAddressInSubnet(const std::vector<HostAddress>& rows, uint32_t applianceIp);

// Dotted-decimal text of four bytes in network order.
void FormatIpv4(char* out, size_t cap, const uint8_t bytes[4]);

}  // namespace holv
