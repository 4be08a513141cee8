// appliance-sim: plays the appliance's side of IMC over UDP, for tests and
// the demo. See README.md beside this file and --help.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "SimAppliance.h"
#include "SimConfig.h"
#include "SimSocket.h"
#include "SimText.h"

using namespace holv;

namespace {

const char Usage[] =
    "usage: appliance-sim [OPTIONS]\n"
    "Plays a Holvenstead appliance on UDP port 8888: answers \"IMCC\" commands with\n"
    "\"IMCR\" replies the host accepts (its MAC, the request's flag bits under the\n"
    "mask 0x800D07FE, the SNMP request-id), sent to the sender's address, port 8888.\n"
    "\n"
    "Options:\n"
    "  --config FILE      key=value configuration, re-read whenever it changes\n"
    "  --power-file PATH  answer only while PATH exists (a stand-in hypervisor\n"
    "                     creates it when the VM starts); overrides power-file=\n"
    "  --record FILE      append one line per event; overrides record-file=\n"
    "  --pid-file FILE    write the process id once the socket is bound\n"
    "  --port N           port to listen on (default 8888)\n"
    "  --reply-port N     port answers and notifications go to (default 8888)\n"
    "  --bind ADDR        address to listen on (default 0.0.0.0)\n"
    "  --sniff IFACE      play an impostor: answer only the commands seen on IFACE\n"
    "                     (promiscuous) that were addressed to another host, from\n"
    "                     this host's own address; commands to it are ignored\n"
    "  --allow-outside    allow broadcast notifications outside a network namespace\n"
    "                     made with `ip netns` (refused otherwise)\n"
    "  -v, --verbose      log every datagram to stderr\n"
    "  -h, --help         this text\n"
    "\n"
    "Answers:\n"
    "  status query (flags 0x380, maybe | 0x2)   device-name, product-name, firmware,\n"
    "                                            plus status-flags (0x20000, 0x40000000)\n"
    "  SNMP GetRequest of G.I                    OCTET STRING value, or error-status 2\n"
    "                                            (noSuchName) for unknown variables\n"
    "  SNMP SetRequest                           recorded, error-status set-error (0)\n"
    "  host identity (bit 0x10000)               recorded, fields echoed\n"
    "  shutdown (flags exactly 0x1 or 0x3)       recorded, then powers off: removes the\n"
    "                                            power file, or exits without one\n"
    "  The action (61440.61568) is served once per load of the configuration.\n"
    "\n"
    "Configuration keys (FILE, one key=value a line, # comments; values taken as\n"
    "written, with the escapes \\\\ \\n \\r \\t \\0 \\xHH):\n"
    "  mac, device-name, product-name, firmware, status-flags, notify-flags,\n"
    "  serial, trellisport, rk, action, route.N, var.G.I   variable values\n"
    "  NAME.type=string|int|null|oid|ipaddress|counter|gauge|timeticks|boolean|enumerated\n"
    "  NAME.error=N, NAME.set-error=N                      per-variable error-status\n"
    "  set-error, action-sticky, shutdown-powers-off, accept-any-mac,\n"
    "  notify-broadcast, reply-delay-ms, drop-next, reply-flags-xor,\n"
    "  request-id-offset, power-file, record-file\n"
    "\n"
    "Record lines: status flags=0x..., get G.I, getnext G.I, set G.I TYPE VALUE\n"
    "(strings in hex), identity host=NAME digest=HEX block128=HEX time=S options=0x...,\n"
    "shutdown, drop flags=0x..., foreign-mac MAC, malformed, notify to=ADDR.\n"
    "\n"
    "Signals: SIGUSR1 sends an \"IMCN\" notification to the last host that spoke\n"
    "(or, with notify-broadcast=1, to 255.255.255.255); SIGHUP re-reads the\n"
    "configuration; SIGTERM and SIGINT end the simulator.\n"
    "Exit: 0 after SIGTERM/SIGINT or a shutdown without power file, 1 when the\n"
    "socket cannot be opened, 2 for bad options or an unreadable configuration.\n"
    "Details: tools/appliance-sim/README.md.\n";

volatile sig_atomic_t stopRequested = 0;
volatile sig_atomic_t notifyRequested = 0;
volatile sig_atomic_t reloadRequested = 0;

void OnSignal(int signal) {
    if (signal == SIGUSR1)
        notifyRequested = 1;
    else if (signal == SIGHUP)
        reloadRequested = 1;
    else
        stopRequested = 1;
}

struct Options {
    std::string configPath;
    std::string powerFile;
    std::string recordFile;
    std::string pidFile;
    int port = SimImcPort;
    int replyPort = SimImcPort;
    uint32_t bindAddress = 0;  // INADDR_ANY
    std::string sniff;         // interface whose others' commands are answered
    bool allowOutside = false;
    bool verbose = false;
};

bool verbose = false;

void Log(const char* format, ...) __attribute__((format(printf, 1, 2)));
void Log(const char* format, ...) {
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    tm local{};
    localtime_r(&ts.tv_sec, &local);
    std::fprintf(stderr, "%02d:%02d:%02d.%03ld appliance-sim: ", local.tm_hour, local.tm_min, local.tm_sec,
                 ts.tv_nsec / 1000000);
    va_list args;
    va_start(args, format);
    std::vfprintf(stderr, format, args);
    va_end(args);
    std::fputc('\n', stderr);
}

bool ParsePort(const char* text, int& port) {
    uint32_t v;
    if (!SimParseU32(text, v) || v == 0 || v > 65535) return false;
    port = static_cast<int>(v);
    return true;
}

// 0 to go on, else the exit code.
int ParseOptions(int argc, char** argv, Options& o) {
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        bool hasValue = i + 1 < argc;
        if (a == "-h" || a == "--help") {
            std::fputs(Usage, stdout);
            return -1;
        } else if (a == "-v" || a == "--verbose") {
            o.verbose = true;
        } else if (a == "--allow-outside") {
            o.allowOutside = true;
        } else if (!hasValue) {
            std::fprintf(stderr, "appliance-sim: %s: unknown option or missing value\n%s", a.c_str(), Usage);
            return 2;
        } else if (a == "--config") {
            o.configPath = argv[++i];
        } else if (a == "--power-file") {
            o.powerFile = argv[++i];
        } else if (a == "--record") {
            o.recordFile = argv[++i];
        } else if (a == "--sniff") {
            o.sniff = argv[++i];
        } else if (a == "--pid-file") {
            o.pidFile = argv[++i];
        } else if ((a == "--port" && ParsePort(argv[i + 1], o.port)) ||
                   (a == "--reply-port" && ParsePort(argv[i + 1], o.replyPort)) ||
                   (a == "--bind" && SimParseIp(argv[i + 1], o.bindAddress))) {
            ++i;
        } else {
            std::fprintf(stderr, "appliance-sim: %s %s: unknown option or bad value\n%s", a.c_str(), argv[i + 1],
                         Usage);
            return 2;
        }
    }
    return 0;
}

// Identity of the configuration file's current contents: a rewrite, also an
// atomic one by rename, changes at least one of these.
struct FileStamp {
    bool exists = false;
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    timespec mtime{};
    bool operator==(const FileStamp& o) const {
        return exists == o.exists && device == o.device && inode == o.inode && size == o.size &&
               mtime.tv_sec == o.mtime.tv_sec && mtime.tv_nsec == o.mtime.tv_nsec;
    }
};

FileStamp StampOf(const std::string& path) {
    FileStamp s;
    struct stat st {};
    if (stat(path.c_str(), &st) != 0) return s;
    s.exists = true;
    s.device = st.st_dev;
    s.inode = st.st_ino;
    s.size = st.st_size;
    s.mtime = st.st_mtim;
    return s;
}

class Simulator {
public:
    explicit Simulator(const Options& o) : options_(o) {}
    int Run();

private:
    bool LoadConfig(bool initial);
    void CheckConfig();
    void Receive();
    void Sniff();
    void Handle(const uint8_t* datagram, ssize_t n, uint32_t sender);
    void Send(const std::vector<uint8_t>& frame, uint32_t address, const char* what);
    void Notify();
    void PowerOff();
    bool Powered() const;
    void Record(const std::string& line);
    const std::string& PowerFile() const { return options_.powerFile.empty() ? config_.powerFile : options_.powerFile; }
    const std::string& RecordFile() const {
        return options_.recordFile.empty() ? config_.recordFile : options_.recordFile;
    }

    Options options_;
    SimConfig config_ = SimDefaultConfig();
    SimState state_;
    FileStamp configStamp_;
    int fd_ = -1;
    int sniffer_ = -1;
    uint32_t lastHost_ = 0;  // network order; 0 = none yet
    bool finished_ = false;
};

bool Simulator::LoadConfig(bool initial) {
    SimConfig fresh = SimDefaultConfig();
    if (!options_.configPath.empty()) {
        FileStamp stamp = StampOf(options_.configPath);
        std::ifstream in(options_.configPath, std::ios::binary);
        if (!in) {
            // Keep running on the last configuration: a test may be between
            // deleting and writing the file.
            Log("cannot read the configuration %s%s", options_.configPath.c_str(),
                initial ? "" : ": the previous one stays in force");
            configStamp_ = stamp;
            return false;
        }
        std::stringstream text;
        text << in.rdbuf();
        std::vector<std::string> warnings;
        SimParseConfig(text.str(), fresh, warnings);
        for (const std::string& w : warnings) Log("%s: %s", options_.configPath.c_str(), w.c_str());
        configStamp_ = stamp;
    }
    config_ = std::move(fresh);
    SimConfigLoaded(config_, state_);
    if (verbose) {
        Log("configuration %s: mac %s, device \"%s\"", initial ? "loaded" : "re-loaded",
            SimFormatMac(config_.mac).c_str(), SimEscape(config_.deviceName).c_str());
    }
    return true;
}

void Simulator::CheckConfig() {
    if (options_.configPath.empty()) return;
    if (reloadRequested || !(StampOf(options_.configPath) == configStamp_)) {
        reloadRequested = 0;
        LoadConfig(false);
    }
}

bool Simulator::Powered() const {
    const std::string& file = PowerFile();
    return file.empty() || access(file.c_str(), F_OK) == 0;
}

void Simulator::Record(const std::string& line) {
    if (verbose) Log("event: %s", line.c_str());
    const std::string& file = RecordFile();
    if (file.empty()) return;
    // Opened per line and appended in one write, so a test may read or
    // truncate the file at any time.
    int fd = open(file.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) {
        Log("cannot write the record file %s: %s", file.c_str(), std::strerror(errno));
        return;
    }
    std::string text = line + "\n";
    if (write(fd, text.data(), text.size()) != static_cast<ssize_t>(text.size())) {
        Log("short write to the record file %s", file.c_str());
    }
    close(fd);
}

void Simulator::Send(const std::vector<uint8_t>& frame, uint32_t address, const char* what) {
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = address;
    to.sin_port = htons(static_cast<uint16_t>(options_.replyPort));
    ssize_t sent = sendto(fd_, frame.data(), frame.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
    if (sent < 0) {
        Log("%s to %s:%d failed: %s", what, SimFormatIp(address).c_str(), options_.replyPort, std::strerror(errno));
    } else if (verbose) {
        Log("%s to %s:%d: %zd bytes", what, SimFormatIp(address).c_str(), options_.replyPort, sent);
    }
}

void Simulator::PowerOff() {
    const std::string& file = PowerFile();
    if (file.empty()) {
        Log("shutdown request: powering off (no power file, so the simulator ends)");
        finished_ = true;
    } else if (unlink(file.c_str()) != 0 && errno != ENOENT) {
        Log("shutdown request: cannot remove the power file %s: %s", file.c_str(), std::strerror(errno));
    } else {
        Log("shutdown request: powered off (%s removed)", file.c_str());
    }
}

void Simulator::Receive() {
    uint8_t datagram[65536];
    sockaddr_in from{};
    socklen_t fromLength = sizeof from;
    ssize_t n = recvfrom(fd_, datagram, sizeof datagram, 0, reinterpret_cast<sockaddr*>(&from), &fromLength);
    if (n < 0) {
        if (errno != EINTR && errno != EAGAIN) Log("recvfrom: %s", std::strerror(errno));
        return;
    }
    uint32_t sender = from.sin_addr.s_addr;
    if (sniffer_ >= 0) return;  // an impostor answers only what it overhears
    Handle(datagram, n, sender);
}

void Simulator::Sniff() {
    std::vector<uint8_t> datagram;
    uint32_t sender = 0;
    if (SimSniffDatagram(sniffer_, options_.port, datagram, sender))
        Handle(datagram.data(), static_cast<ssize_t>(datagram.size()), sender);
}

void Simulator::Handle(const uint8_t* datagram, ssize_t n, uint32_t sender) {
    if (!Powered()) {
        if (verbose) Log("powered off: %zd bytes from %s ignored", n, SimFormatIp(sender).c_str());
        return;
    }
    lastHost_ = sender;
    if (verbose) Log("%zd bytes from %s", n, SimFormatIp(sender).c_str());
    SimOutcome out;
    SimHandleDatagram(config_, state_, datagram, static_cast<int>(n), out);
    if (verbose) {
        for (const std::string& line : out.log) Log("%s", line.c_str());
    }
    for (const std::string& line : out.records) Record(line);
    if (!out.reply.empty()) {
        if (config_.replyDelayMs > 0) {
            timespec delay{config_.replyDelayMs / 1000, (config_.replyDelayMs % 1000) * 1000000L};
            while (nanosleep(&delay, &delay) != 0 && errno == EINTR && !stopRequested) {
            }
        }
        // Answers go back to the sender only, on the IMC port.
        Send(out.reply, sender, "answer");
    }
    if (out.powerOff) PowerOff();
}

void Simulator::Notify() {
    notifyRequested = 0;
    if (!Powered()) {
        Log("notification not sent: powered off");
        return;
    }
    uint32_t to = lastHost_;
    if (to == 0) {
        if (!config_.notifyBroadcast) {
            Log("notification not sent: no host has spoken yet (notify-broadcast=1 would broadcast)");
            return;
        }
        if (!SimInTestNamespace() && !options_.allowOutside) {
            Log("notification not broadcast: not inside a namespace made with ip netns (run in a test "
                "bed, or give --allow-outside)");
            return;
        }
        to = 0xFFFFFFFFu;
    }
    std::vector<uint8_t> frame;
    std::string problem;
    if (!SimBuildNotification(config_, frame, problem)) {
        Log("notification not sent: %s", problem.c_str());
        return;
    }
    Record("notify to=" + SimFormatIp(to));
    Send(frame, to, "notification");
}

int Simulator::Run() {
    if (!LoadConfig(true)) return 2;
    std::string problem;
    fd_ = SimOpenSocket(options_.bindAddress, options_.port, problem);
    if (fd_ < 0) {
        Log("%s", problem.c_str());
        return 1;
    }
    if (!options_.pidFile.empty()) {
        // Written after the bind: its presence tells a test that the
        // appliance listens.
        std::string tmp = options_.pidFile + ".tmp";
        std::FILE* f = std::fopen(tmp.c_str(), "w");
        if (!f || std::fprintf(f, "%d\n", static_cast<int>(getpid())) < 0 || std::fclose(f) != 0 ||
            std::rename(tmp.c_str(), options_.pidFile.c_str()) != 0) {
            Log("cannot write the pid file %s", options_.pidFile.c_str());
        }
    }
    if (!options_.sniff.empty()) {
        sniffer_ = SimOpenSniffer(options_.sniff, problem);
        if (sniffer_ < 0) {
            Log("%s", problem.c_str());
            return 1;
        }
    }
    if (verbose) {
        Log("listening on %s:%d, answering to port %d", SimFormatIp(options_.bindAddress).c_str(), options_.port,
            options_.replyPort);
    }
    while (!stopRequested && !finished_) {
        pollfd p[2] = {{fd_, POLLIN, 0}, {sniffer_, POLLIN, 0}};
        int ready = poll(p, sniffer_ >= 0 ? 2 : 1, 100);
        CheckConfig();
        if (notifyRequested) Notify();
        if (ready > 0 && (p[0].revents & POLLIN)) Receive();
        if (ready > 0 && sniffer_ >= 0 && (p[1].revents & POLLIN)) Sniff();
    }
    close(fd_);
    if (sniffer_ >= 0) close(sniffer_);
    if (!options_.pidFile.empty()) unlink(options_.pidFile.c_str());
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    int rc = ParseOptions(argc, argv, options);
    if (rc != 0) return rc < 0 ? 0 : rc;
    verbose = options.verbose;
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    // No SA_RESTART: poll returns at once and the loop sees the flag.
    for (int s : {SIGUSR1, SIGHUP, SIGTERM, SIGINT}) sigaction(s, &action, nullptr);
    Simulator simulator(options);
    return simulator.Run();
}
