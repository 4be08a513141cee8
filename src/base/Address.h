// IPv4 addresses as the program keeps them: uint32 in network order. Their
// dotted text, the two byte orders and the rules of a usable host address.
// Windows-free, so every layer may use them and they are tested natively.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

namespace holv {

uint32_t NetToHost32(uint32_t networkOrder);
uint32_t HostToNet32(uint32_t hostOrder);

// Dotted-decimal text of four bytes in network order.
void FormatIpv4(char* out, size_t cap, const uint8_t bytes[4]);
// The same for an address held as a network-order number.
void FormatIpv4(char* out, size_t cap, uint32_t networkOrder);

// Not 0, not loopback (127/8), not multicast or reserved (224/3).
bool IsUsableUnicast(uint32_t networkOrder);

struct HostAddress {
    uint32_t address;  // network order
    uint32_t mask;     // network order
};

// A usable host address that shares the appliance's subnet under its mask.
bool HasAddressInSubnet(const std::vector<HostAddress>& rows, uint32_t applianceIp);

}  // namespace holv
