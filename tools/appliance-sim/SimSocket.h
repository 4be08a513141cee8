// The Linux side shared by the appliance simulator and the probe: the UDP
// socket on the IMC port and the guard that keeps broadcasts off the
// machine's own network.
#pragma once
#include <netinet/in.h>

#include <cstdint>
#include <string>

namespace holv {

constexpr int SimImcPort = 8888;

// A UDP socket with SO_REUSEADDR and SO_BROADCAST, bound to address:port
// (address in network order). Returns the descriptor, or -1 with `problem`.
int SimOpenSocket(uint32_t address, int port, std::string& problem);

// True when this process runs in a network namespace made with `ip netns`
// (a test bed such as scripts/netns.sh builds). Anywhere else a broadcast may
// reach a real network; when that cannot be told, the answer is false, the
// cautious one.
bool SimInTestNamespace();

// Dotted form of an address in network order.
std::string SimFormatIp(uint32_t address);
// Dotted text to network order; false if it is not an IPv4 address.
bool SimParseIp(const std::string& text, uint32_t& address);

// Milliseconds of a monotonic clock.
int64_t SimNowMs();

}  // namespace holv
