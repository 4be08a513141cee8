// imc-probe: sends one IMC command as the host would and prints the answer
// that the host would accept. For tests of the appliance simulator and for
// debugging an appliance by hand.
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "SimAppliance.h"
#include "SimConfig.h"
#include "SimSocket.h"
#include "SimText.h"
#include "imc/ImcCodes.h"
#include "imc/ImcFrame.h"
#include "imc/ImcMessage.h"

using namespace holv;

namespace {

const char Usage[] =
    "usage: imc-probe [OPTIONS] COMMAND\n"
    "Sends one IMC command frame and prints the first answer that the host's\n"
    "matching rule accepts (MAC, flag bits under 0x800D07FE, SNMP GetResponse\n"
    "with the same request-id), one key=value a line.\n"
    "\n"
    "Commands:\n"
    "  status                    status query, flag word 0x380\n"
    "  get G.I                   SNMP GetRequest of variable G.I\n"
    "  set-string G.I TEXT       SNMP SetRequest, OCTET STRING (escapes \\xHH ...)\n"
    "  set-int G.I N             SNMP SetRequest, INTEGER\n"
    "  identity HOST             host identity message (host name, 16-byte digest,\n"
    "                            128 bytes, time); --options adds the SNMP part\n"
    "  shutdown                  the shutdown request, flag word 0x1\n"
    "  listen                    send nothing; print the first \"IMCN\" notification\n"
    "  flood RATE SECONDS [KIND] junk for a load test: RATE datagrams a second (at most\n"
    "                            5000) for SECONDS (at most 60) to --to (one address,\n"
    "                            no broadcast), port --port. KIND \"undecodable\": in turn\n"
    "                            random bytes, empty, 3000 bytes, an undecodable reply;\n"
    "                            \"mixed\" (default) adds replies with stale request-ids\n"
    "                            or for another MAC, notifications and commands (MAC\n"
    "                            --mac). Prints sent=N; exit 0\n"
    "\n"
    "Options:\n"
    "  --to ADDR          destination (default 255.255.255.255: broadcast)\n"
    "  --port N           destination port (default 8888)\n"
    "  --bind-port N      local port, where answers arrive (default 8888)\n"
    "  --mac MAC          appliance MAC in the command (default ff:ff:ff:ff:ff:ff)\n"
    "  --request-id N     SNMP request-id (default 1)\n"
    "  --long             add flag bit 0x2, as the host does once it knows the appliance\n"
    "  --flags HEX        flag word of a status-like command instead of 0x380\n"
    "  --options          identity: add the SNMP GetRequest of bit 0x40000000\n"
    "  --timeout MS       how long to wait (default 1000)\n"
    "  --any              print the first answer even if the host would ignore it\n"
    "  --allow-outside    allow a destination other than loopback outside a network\n"
    "                     namespace made with `ip netns` (refused otherwise, so that\n"
    "                     nothing reaches a real network by mistake)\n"
    "  -v                 report ignored datagrams on stderr\n"
    "\n"
    "Output: from=ADDR, kind=reply|notification, mac=, flags=0x..., then the\n"
    "fields present (device-name=, product-name=, firmware=, host-name=, block16=,\n"
    "block128=), and for SNMP answers pdu=, request-id=, error-status=,\n"
    "error-index= and one bind=G.I TYPE VALUE a binding (strings escaped, \\xHH).\n"
    "Exit: 0 answer printed, 1 none in time, 2 bad usage, 3 socket or encoding error.\n";

struct Options {
    uint32_t to = 0xFFFFFFFFu;
    int port = SimImcPort;
    int bindPort = SimImcPort;
    uint8_t mac[6] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
    int32_t requestId = 1;
    bool longWait = false;
    uint32_t flags = 0x380;
    bool hostOptions = false;
    int timeoutMs = 1000;
    bool any = false;
    bool allowOutside = false;
    bool verbose = false;
    std::vector<std::string> command;
};

int Fail(const char* text) {
    std::fprintf(stderr, "imc-probe: %s\n", text);
    return 2;
}

bool ParsePort(const std::string& text, int& port) {
    uint32_t v;
    if (!SimParseU32(text, v) || v == 0 || v > 65535) return false;
    port = static_cast<int>(v);
    return true;
}

int ParseOptions(int argc, char** argv, Options& o) {
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        std::string v = i + 1 < argc ? argv[i + 1] : "";
        bool ok = true;
        if (a == "-h" || a == "--help") {
            std::fputs(Usage, stdout);
            return -1;
        } else if (a == "--long") {
            o.longWait = true;
        } else if (a == "--options") {
            o.hostOptions = true;
        } else if (a == "--any") {
            o.any = true;
        } else if (a == "--allow-outside") {
            o.allowOutside = true;
        } else if (a == "-v") {
            o.verbose = true;
        } else if (a.rfind("--", 0) == 0) {
            if (i + 1 >= argc) return Fail((a + " needs a value").c_str());
            uint32_t n = 0;
            if (a == "--to")
                ok = SimParseIp(v, o.to);
            else if (a == "--port")
                ok = ParsePort(v, o.port);
            else if (a == "--bind-port")
                ok = ParsePort(v, o.bindPort);
            else if (a == "--mac")
                ok = SimParseMac(v, o.mac);
            else if (a == "--request-id")
                ok = SimParseI32(v, o.requestId);
            else if (a == "--flags")
                ok = SimParseU32(v, o.flags);
            else if (a == "--timeout")
                ok = SimParseU32(v, n) && n <= 600000, o.timeoutMs = static_cast<int>(n);
            else
                return Fail(("unknown option " + a).c_str());
            if (!ok) return Fail(("bad value for " + a + ": " + v).c_str());
            ++i;
        } else {
            o.command.push_back(a);
        }
    }
    if (o.command.empty()) return Fail("no command (try --help)");
    return 0;
}

// Builds the command frame into `request`. 0, or the exit code.
int BuildRequest(const Options& o, ImcMessage& m) {
    const std::vector<std::string>& c = o.command;
    const std::string& verb = c[0];
    std::memcpy(m.mac, o.mac, 6);
    uint32_t group = 0, item = 0;
    bool needsVariable = verb == "get" || verb == "set-string" || verb == "set-int";
    size_t arguments = verb == "set-string" || verb == "set-int" ? 3 : verb == "get" || verb == "identity" ? 2 : 1;
    if (c.size() != arguments) return Fail(("wrong number of arguments for " + verb).c_str());
    if (needsVariable && !SimParseVariable(c[1], group, item)) return Fail("variable must be G.I");
    if (verb == "status") {
        m.flags = o.flags;
    } else if (verb == "shutdown") {
        m.flags = ImcFlagSupplied;
    } else if (verb == "identity") {
        // Fixed, recognisable blocks: a test compares them with the record.
        uint8_t digest[16], block[128];
        for (int i = 0; i < 16; ++i) digest[i] = static_cast<uint8_t>(0xD0 + i);
        for (int i = 0; i < 128; ++i) block[i] = static_cast<uint8_t>(i);
        ImcSetLocalHostName(m, c[1].c_str());
        ImcSetBlock16(m, digest);
        ImcSetBlock128(m, block);
        m.flags |= ImcFlagTime;
        if (o.hostOptions) {
            ImcSetCommunity(m, "", "");
            ImcAddVarBind(m, 34816, 800, ImcTagNull, nullptr, 0);
        }
    } else if (verb == "get") {
        ImcSetCommunity(m, "", "");
        ImcAddVarBind(m, group, item, ImcTagNull, nullptr, 0);
    } else if (verb == "set-string") {
        std::string bytes;
        if (!SimUnescape(c[2], bytes)) return Fail("bad escape in TEXT");
        ImcSetCommunity(m, "", "");
        ImcSetPduType(m, ImcPduSetRequest);
        ImcAddVarBind(m, group, item, ImcTagOctetString, bytes.data(), static_cast<int>(bytes.size()));
    } else if (verb == "set-int") {
        int32_t value;
        if (!SimParseI32(c[2], value)) return Fail("N must be a number");
        ImcSetCommunity(m, "", "");
        ImcSetPduType(m, ImcPduSetRequest);
        ImcAddVarBind(m, group, item, ImcTagInteger, &value, 4);
    } else {
        return Fail(("unknown command " + verb).c_str());
    }
    if (o.longWait) m.flags |= ImcFlagLongWait;
    if (m.pdu) m.pdu->requestId = o.requestId;
    return 0;
}

// The host's rule for taking a reply as the answer to its request.
bool Matches(const ImcMessage& request, const ImcMessage& reply) {
    static const uint8_t anyMac[6] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
    if (reply.kind != 0 || reply.notification) return false;
    if (std::memcmp(request.mac, anyMac, 6) != 0 && std::memcmp(request.mac, reply.mac, 6) != 0) return false;
    if ((request.flags ^ reply.flags) & SimReplyMatchMask) return false;
    if (!reply.pdu) return true;
    return reply.pdu->type == ImcPduGetResponse && request.pdu && reply.pdu->requestId == request.pdu->requestId;
}

std::string BindText(const ImcVarBind& b) {
    uint32_t group, item;
    std::string name = SimVariableOf(b.name, group, item) ? std::to_string(group) + "." + std::to_string(item)
                                                          : "oid=" + SimFormatOid(b.name);
    std::string line = name + " ";
    if (ImcIsIntegerType(b.type)) return line + SimTypeName(b.type) + " " + std::to_string(b.number);
    switch (b.type) {
        case ImcTagOctetString: return line + "string " + SimEscape(std::string(b.bytes.begin(), b.bytes.end()));
        case ImcTagNull: return line + "null";
        case ImcTagOid: return line + "oid " + SimFormatOid(b.oid);
        case ImcTagIpAddress: return line + "ipaddress " + SimFormatIp(*reinterpret_cast<const uint32_t*>(b.address));
        default: return line + "?";
    }
}

void Print(const ImcMessage& m, uint32_t from) {
    std::printf("from=%s\n", SimFormatIp(from).c_str());
    std::printf("kind=%s\n", m.notification ? "notification" : m.kind ? "command" : "reply");
    std::printf("mac=%s\n", SimFormatMac(m.mac).c_str());
    std::printf("flags=0x%08x\n", m.flags);
    if (m.flags & ImcFlagDeviceName) std::printf("device-name=%s\n", SimEscape(m.deviceName).c_str());
    if (m.flags & ImcFlagProductName) std::printf("product-name=%s\n", SimEscape(m.productName).c_str());
    if (m.flags & ImcFlagFirmware) std::printf("firmware=%s\n", SimEscape(m.firmware).c_str());
    if (m.flags & ImcFlagLocalHostName) std::printf("host-name=%s\n", SimEscape(m.localHostName).c_str());
    if (m.block16) std::printf("block16=%s\n", SimHex(m.block16->data(), 16).c_str());
    if (m.block128) std::printf("block128=%s\n", SimHex(m.block128->data(), 128).c_str());
    if (m.pdu) {
        std::printf("pdu=0x%02x\nrequest-id=%d\nerror-status=%d\nerror-index=%d\n", m.pdu->type, m.pdu->requestId,
                    m.pdu->errorStatus, m.pdu->errorIndex);
    }
    for (const ImcVarBind* b = m.varBinds.get(); b; b = b->next.get()) std::printf("bind=%s\n", BindText(*b).c_str());
    std::fflush(stdout);
}

// The flood's datagram number i: junk of each kind the host must survive.
std::vector<uint8_t> JunkDatagram(const Options& o, uint32_t i, uint32_t& seed) {
    auto next = [&seed] { return (seed = seed * 1103515245u + 12345u) >> 16; };
    std::vector<uint8_t> d;
    ImcMessage m;
    std::memcpy(m.mac, o.mac, 6);
    switch (i % 8) {
        case 0: d.resize(1 + next() % 600); break;
        case 1: return d;               // empty
        case 2: d.resize(3000); break;  // more than a frame's room
        case 3:                         // a reply whose SNMP part does not decode
            d = {'I', 'M', 'C', 'R', 0x80, 0, 0, 0};
            d.insert(d.end(), o.mac, o.mac + 6);
            d.resize(d.size() + 1 + next() % 40);
            break;
        default:
            m.kind = i % 8 == 7 ? 1 : 0;
            m.flags = i % 8 == 6 ? 0 : 0x382;
            if (i % 8 == 4) {  // a GetResponse no request of the host will ever have
                ImcSetCommunity(m, "", "");
                ImcAddVarBind(m, 61440, 61568, ImcTagOctetString, "junk", 4);
                ImcSetPduType(m, ImcPduGetResponse);
                m.pdu->requestId = -1 - static_cast<int32_t>(i % 1000);
            }
            if (i % 8 == 5) m.mac[5] ^= 0x5A;  // another appliance
            ImcBuffer frame;
            if (EncodeFrame(m, frame) != ImcErrNone) return d;
            d.assign(ImcBufferData(frame), ImcBufferData(frame) + ImcBufferRemaining(frame));
            if (i % 8 == 6) std::memcpy(d.data(), "IMCN", 4);  // encoded as a reply, sent as a notification
            return d;
    }
    for (size_t k = i % 8 == 3 ? 14 : 0; k < d.size(); ++k) d[k] = static_cast<uint8_t>(next());
    return d;
}

// Bounded in rate, count and time, to one address: ends by itself.
int Flood(const Options& o) {
    uint32_t rate = 0, seconds = 0;
    const std::vector<std::string>& c = o.command;
    if (c.size() < 3 || c.size() > 4 || !SimParseU32(c[1], rate) || !SimParseU32(c[2], seconds) || rate == 0 ||
        rate > 5000 || seconds == 0 || seconds > 60 || (c.size() == 4 && c[3] != "mixed" && c[3] != "undecodable"))
        return Fail("flood RATE SECONDS [mixed|undecodable]: RATE 1..5000, SECONDS 1..60");
    const uint32_t kinds = c.size() == 4 && c[3] == "undecodable" ? 4 : 8;
    if (o.to == 0xFFFFFFFFu || o.to == 0) return Fail("flood needs one address (--to), never a broadcast");
    std::string problem;
    int fd = SimOpenSocket(0, 0, problem);
    if (fd < 0) {
        std::fprintf(stderr, "imc-probe: %s\n", problem.c_str());
        return 3;
    }
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = o.to;
    to.sin_port = htons(static_cast<uint16_t>(o.port));
    const uint32_t total = rate * seconds, perSlot = (rate + 99) / 100;  // slots of 10 ms
    uint32_t sent = 0, seed = 12345;
    int64_t start = SimNowMs();
    for (uint32_t i = 0; i < total;) {
        for (uint32_t k = 0; k < perSlot && i < total; ++k, ++i) {
            std::vector<uint8_t> d = JunkDatagram(o, i % kinds + i / kinds * 8, seed);
            if (sendto(fd, d.data(), d.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to) >= 0) ++sent;
        }
        int64_t slotEnd = start + static_cast<int64_t>(i / perSlot) * 10;
        int64_t wait = slotEnd - SimNowMs();
        if (wait > 0) usleep(static_cast<useconds_t>(wait * 1000));
    }
    close(fd);
    std::printf("sent=%u\n", sent);
    return 0;
}

bool IsLoopback(uint32_t address) {
    return (ntohl(address) >> 24) == 127;
}

// Waits for the answer (or, without a request, a notification). 0 printed,
// 1 nothing in time.
int Await(int fd, const Options& o, const ImcMessage* request) {
    int64_t deadline = SimNowMs() + o.timeoutMs;
    for (;;) {
        int64_t left = deadline - SimNowMs();
        if (left <= 0) return 1;
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, static_cast<int>(left)) <= 0) continue;
        uint8_t datagram[65536];
        sockaddr_in from{};
        socklen_t length = sizeof from;
        ssize_t n = recvfrom(fd, datagram, sizeof datagram, 0, reinterpret_cast<sockaddr*>(&from), &length);
        if (n <= 0) continue;
        ImcBuffer buffer;
        std::unique_ptr<ImcMessage> m;
        if (ImcBufferAssign(buffer, datagram, static_cast<int>(n)) != ImcErrNone || DecodeFrame(buffer, m) != 0) {
            if (o.verbose) std::fprintf(stderr, "imc-probe: undecodable datagram of %zd bytes ignored\n", n);
            continue;
        }
        bool wanted = o.any || (request ? Matches(*request, *m) : m->notification == 1);
        if (!wanted) {
            if (o.verbose) {
                std::fprintf(stderr, "imc-probe: ignored %s flags 0x%08x from %s\n", m->kind ? "command" : "frame",
                             m->flags, SimFormatIp(from.sin_addr.s_addr).c_str());
            }
            continue;
        }
        Print(*m, from.sin_addr.s_addr);
        return 0;
    }
}

}  // namespace

int main(int argc, char** argv) {
    Options o;
    int rc = ParseOptions(argc, argv, o);
    if (rc != 0) return rc < 0 ? 0 : rc;
    bool listenOnly = o.command[0] == "listen";
    if (o.command[0] == "flood" && !IsLoopback(o.to) && !SimInTestNamespace())
        return Fail("flood: only to 127.x or inside a network namespace made with ip netns");
    if (o.command[0] == "flood") return Flood(o);
    if (!listenOnly && !IsLoopback(o.to) && !SimInTestNamespace() && !o.allowOutside) {
        return Fail(
            "refusing to send outside a network namespace made with ip netns: run inside a test bed "
            "(scripts/netns.sh), use a 127.x address, or give --allow-outside");
    }
    ImcMessage request;
    if (!listenOnly) {
        rc = BuildRequest(o, request);
        if (rc != 0) return rc;
    } else if (o.command.size() != 1) {
        return Fail("listen takes no arguments");
    }
    std::string problem;
    int fd = SimOpenSocket(0, o.bindPort, problem);
    if (fd < 0) {
        std::fprintf(stderr, "imc-probe: %s\n", problem.c_str());
        return 3;
    }
    if (!listenOnly) {
        ImcBuffer frame;
        if (EncodeFrame(request, frame) != ImcErrNone) {
            std::fprintf(stderr, "imc-probe: the command could not be encoded\n");
            close(fd);
            return 3;
        }
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_addr.s_addr = o.to;
        to.sin_port = htons(static_cast<uint16_t>(o.port));
        if (sendto(fd, ImcBufferData(frame), ImcBufferRemaining(frame), 0, reinterpret_cast<sockaddr*>(&to),
                   sizeof to) < 0) {
            std::fprintf(stderr, "imc-probe: send to %s:%d: %s\n", SimFormatIp(o.to).c_str(), o.port,
                         std::strerror(errno));
            close(fd);
            return 3;
        }
    }
    rc = Await(fd, o, listenOnly ? nullptr : &request);
    close(fd);
    if (rc == 1) std::fprintf(stderr, "imc-probe: no answer within %d ms\n", o.timeoutMs);
    return rc;
}
