// The Linux side shared by the appliance simulator and the probe: the UDP
// socket on the IMC port and the guard that keeps broadcasts off the
// machine's own network.
#pragma once
#include <netinet/in.h>

#include <cstdint>
#include <string>
#include <vector>

namespace holv {

constexpr int SimImcPort = 8888;

// A UDP socket with SO_REUSEADDR and SO_BROADCAST, bound to address:port
// (address in network order). Returns the descriptor, or -1 with `problem`.
int SimOpenSocket(uint32_t address, int port, std::string& problem);

// A packet socket on interface `name` that sees, in promiscuous mode, every
// IPv4 packet on that link: the impostor's ears. -1 with `problem`.
int SimOpenSniffer(const std::string& name, std::string& problem);
// One packet from the sniffer: true with the UDP payload and the IPv4 source
// (network order) when it is a datagram to port `port` addressed to another
// host (neither to us nor broadcast); false for anything else.
bool SimSniffDatagram(int fd, int port, std::vector<uint8_t>& payload, uint32_t& source);

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
