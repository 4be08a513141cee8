// What the machine itself adds to a session step under Wine, with none of
// the program's work: a bare process that idles as the program does between
// steps, then makes as many loopback datagram exchanges as a step has round
// trips, and prints how long each took. On a virtual machine the first one
// after an idle spell can wait milliseconds for a sleeping processor to
// wake; the session benchmark prints this beside the step's figures, so such
// a wait is not taken for the program's work.
//   wake_probe.exe [ROUNDS]
#include <windows.h>
#include <winsock2.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

constexpr int kExchanges = 5;  // a usual step: the status query and four reads
constexpr DWORD kIdleMs = 100;

double NowMs() {
    LARGE_INTEGER frequency, count;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&count);
    return static_cast<double>(count.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart);
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

double P90(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, (v.size() - 1) * 9 / 10)];
}

struct Socket {
    SOCKET s = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    ~Socket() {
        if (s != INVALID_SOCKET) closesocket(s);
    }
};

// One datagram to `to` and back out of `from`, waiting as the program does.
bool Exchange(SOCKET sender, SOCKET receiver, const sockaddr_in& to) {
    char datagram[64] = {};
    if (sendto(sender, datagram, sizeof datagram, 0, reinterpret_cast<const sockaddr*>(&to), sizeof to) < 0)
        return false;
    fd_set set;
    FD_ZERO(&set);
    FD_SET(receiver, &set);
    timeval wait{0, 100000};
    if (select(0, &set, nullptr, nullptr, &wait) != 1) return false;
    return recv(receiver, datagram, sizeof datagram, 0) > 0;
}

}  // namespace

int main(int argc, char** argv) {
    int rounds = argc > 1 ? std::atoi(argv[1]) : 40;
    if (rounds < 1) rounds = 1;
    WSADATA data;
    if (WSAStartup(MAKEWORD(2, 2), &data) != 0) return 1;
    Socket sender, receiver;
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int length = sizeof to;
    if (bind(receiver.s, reinterpret_cast<sockaddr*>(&to), sizeof to) != 0 ||
        getsockname(receiver.s, reinterpret_cast<sockaddr*>(&to), &length) != 0)
        return 1;
    // times[i]: exchange i of each round; later: the rounds' exchanges after
    // the first, from the first answer on, as the benchmark times a step.
    std::vector<std::vector<double>> times(kExchanges);
    std::vector<double> later;
    for (int r = 0; r < rounds; ++r) {
        Sleep(kIdleMs);
        double last = NowMs(), firstAnswer = 0;
        for (int i = 0; i < kExchanges; ++i) {
            if (!Exchange(sender.s, receiver.s, to)) return 1;
            double now = NowMs();
            times[i].push_back(now - last);
            if (i == 0) firstAnswer = now;
            last = now;
        }
        later.push_back(last - firstAnswer);
    }
    std::printf("bare Wine process, %d loopback exchanges after %lu ms idle, %d rounds, ms:\n", kExchanges,
                static_cast<unsigned long>(kIdleMs), rounds);
    for (int i = 0; i < kExchanges; ++i)
        std::printf("  exchange %d:                      median %7.3f  p90 %7.3f\n", i + 1, Median(times[i]),
                    P90(times[i]));
    std::printf("  exchanges 2-%d together:          median %7.3f  p90 %7.3f\n", kExchanges, Median(later), P90(later));
    WSACleanup();
    return 0;
}
