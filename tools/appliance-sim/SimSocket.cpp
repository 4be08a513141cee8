#include "SimSocket.h"

#include <arpa/inet.h>
#include <dirent.h>
#include <linux/if_ether.h>
#include <linux/if_packet.h>
#include <net/if.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>

namespace holv {

int SimOpenSocket(uint32_t address, int port, std::string& problem) {
    int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        problem = std::string("socket: ") + std::strerror(errno);
        return -1;
    }
    int one = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    setsockopt(fd, SOL_SOCKET, SO_BROADCAST, &one, sizeof one);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = address;
    local.sin_port = htons(static_cast<uint16_t>(port));
    if (bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) {
        problem = "bind " + SimFormatIp(address) + ":" + std::to_string(port) + ": " + std::strerror(errno);
        close(fd);
        return -1;
    }
    return fd;
}

int SimOpenSniffer(const std::string& name, std::string& problem) {
    unsigned index = if_nametoindex(name.c_str());
    if (index == 0) {
        problem = "no interface " + name;
        return -1;
    }
    int fd = socket(AF_PACKET, SOCK_DGRAM | SOCK_CLOEXEC, htons(ETH_P_IP));
    if (fd < 0) {
        problem = std::string("packet socket: ") + std::strerror(errno);
        return -1;
    }
    sockaddr_ll link{};
    link.sll_family = AF_PACKET;
    link.sll_protocol = htons(ETH_P_IP);
    link.sll_ifindex = static_cast<int>(index);
    packet_mreq promiscuous{};
    promiscuous.mr_ifindex = static_cast<int>(index);
    promiscuous.mr_type = PACKET_MR_PROMISC;
    if (bind(fd, reinterpret_cast<sockaddr*>(&link), sizeof link) != 0 ||
        setsockopt(fd, SOL_PACKET, PACKET_ADD_MEMBERSHIP, &promiscuous, sizeof promiscuous) != 0) {
        problem = "sniffing on " + name + ": " + std::strerror(errno);
        close(fd);
        return -1;
    }
    return fd;
}

bool SimSniffDatagram(int fd, int port, std::vector<uint8_t>& payload, uint32_t& source) {
    uint8_t packet[65536];
    sockaddr_ll from{};
    socklen_t fromLength = sizeof from;
    ssize_t n = recvfrom(fd, packet, sizeof packet, 0, reinterpret_cast<sockaddr*>(&from), &fromLength);
    if (n < 28 || from.sll_pkttype != PACKET_OTHERHOST) return false;
    size_t ipLength = (packet[0] & 0x0F) * 4u;
    bool fragment = ((packet[6] & 0x3F) | packet[7]) != 0;  // more-fragments bit or an offset
    if ((packet[0] >> 4) != 4 || ipLength < 20 || packet[9] != IPPROTO_UDP || fragment ||
        static_cast<size_t>(n) < ipLength + 8)
        return false;
    const uint8_t* udp = packet + ipLength;
    size_t udpLength = static_cast<size_t>(udp[4] << 8 | udp[5]);
    if ((udp[2] << 8 | udp[3]) != port || udpLength < 8 || ipLength + udpLength > static_cast<size_t>(n)) return false;
    std::memcpy(&source, packet + 12, 4);
    payload.assign(udp + 8, udp + udpLength);
    return true;
}

bool SimInTestNamespace() {
    // `ip netns add` keeps each namespace it makes alive by a bind mount in
    // /run/netns; ours is one of them if a mount there is the same object.
    // (Comparing with process 1's namespace is not possible everywhere: in a
    // sandbox its /proc entry may be closed to us.)
    struct stat self {};
    if (stat("/proc/self/ns/net", &self) != 0) return false;
    for (const char* folder : {"/run/netns", "/var/run/netns"}) {
        DIR* dir = opendir(folder);
        if (!dir) continue;
        bool found = false;
        while (dirent* entry = readdir(dir)) {
            if (entry->d_name[0] == '.') continue;
            std::string path = std::string(folder) + "/" + entry->d_name;
            struct stat named {};
            if (stat(path.c_str(), &named) == 0 && named.st_ino == self.st_ino && named.st_dev == self.st_dev) {
                found = true;
                break;
            }
        }
        closedir(dir);
        if (found) return true;
    }
    return false;
}

std::string SimFormatIp(uint32_t address) {
    char text[INET_ADDRSTRLEN] = "?";
    in_addr a{};
    a.s_addr = address;
    inet_ntop(AF_INET, &a, text, sizeof text);
    return text;
}

bool SimParseIp(const std::string& text, uint32_t& address) {
    in_addr a{};
    if (inet_pton(AF_INET, text.c_str(), &a) != 1) return false;
    address = a.s_addr;
    return true;
}

int64_t SimNowMs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<int64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

}  // namespace holv
