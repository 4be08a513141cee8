#include "SimSocket.h"

#include <arpa/inet.h>
#include <dirent.h>
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
