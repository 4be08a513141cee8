#include "imc/ImcTransport.h"

#include <iphlpapi.h>
#include <mswsock.h>
#include <ws2tcpip.h>

#include <cstring>
#include <memory>
#include <new>

#include "base/Address.h"
#include "base/SystemFolder.h"
#include "base/Text.h"
#include "imc/ImcCodes.h"
#include "imc/ImcLog.h"
#include "imc/ImcMatch.h"
#include "imc/ImcPipePacket.h"

namespace holv {
namespace {

constexpr int kReceivePollUs = 100000;
constexpr ULONG kAdapterFlags =
    GAA_FLAG_SKIP_ANYCAST | GAA_FLAG_SKIP_MULTICAST | GAA_FLAG_SKIP_DNS_SERVER | GAA_FLAG_SKIP_FRIENDLY_NAME;

using GetAdaptersAddressesFn = ULONG(WINAPI*)(ULONG, ULONG, void*, IP_ADAPTER_ADDRESSES*, ULONG*);
using CancelIPChangeNotifyFn = BOOL(WINAPI*)(OVERLAPPED*);
using GetNamedPipeServerProcessIdFn = BOOL(WINAPI*)(HANDLE, ULONG*);

template <typename Fn>
Fn SystemCall(const UniqueModule& library, const char* name) {
    return library ? reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(library.get(), name))) : nullptr;
}

const char* Dotted(uint32_t address, char (&text)[16]) {
    FormatIpv4(text, sizeof text, address);
    return text;
}

int SocketValue(const UniqueSocket& s) {
    return static_cast<int>(s.get());
}

// A UDP socket on (address, port) that may broadcast and reports the
// interface each datagram came in on. Bound exclusively: no other program,
// whatever options it sets, can bind the same address and port and read or
// answer in our place. A failed bind keeps the socket: its sends then fail
// and say so.
UniqueSocket OpenUdpSocket(uint32_t address, uint16_t port) {
    UniqueSocket s(socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP));
    if (!s) return s;
    BOOL on = TRUE;
    DWORD pktinfo = 1;
    setsockopt(s.get(), SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&on), sizeof on);
    setsockopt(s.get(), SOL_SOCKET, SO_BROADCAST, reinterpret_cast<const char*>(&on), sizeof on);
    setsockopt(s.get(), IPPROTO_IP, IP_PKTINFO, reinterpret_cast<const char*>(&pktinfo), sizeof pktinfo);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = htons(port);
    local.sin_addr.s_addr = address;
    bind(s.get(), reinterpret_cast<sockaddr*>(&local), sizeof local);
    return s;
}

void ArmAddressWatch(ImcTransport& t) {
    if (!t.addressEvent) return;
    t.addressOverlapped = OVERLAPPED{};
    t.addressOverlapped.hEvent = t.addressEvent.get();
    t.addressWatch = nullptr;
    NotifyAddrChange(&t.addressWatch, &t.addressOverlapped);
}

bool PrefixContains(const IP_ADAPTER_PREFIX* prefix, uint32_t target) {
    const sockaddr* sa = prefix->Address.lpSockaddr;
    if (!sa || sa->sa_family != AF_INET) return false;
    ULONG length = prefix->PrefixLength;
    if (length < 1 || length > 31) return false;
    uint32_t network = ntohl(reinterpret_cast<const sockaddr_in*>(sa)->sin_addr.s_addr);
    uint32_t mask = 0xFFFFFFFFu << (32 - length);
    return ((network ^ ntohl(target)) & mask) == 0;
}

const IP_ADAPTER_PREFIX* PrefixForTarget(const IP_ADAPTER_ADDRESSES* adapter, uint32_t target) {
    for (const IP_ADAPTER_PREFIX* p = adapter->FirstPrefix; p; p = p->Next)
        if (PrefixContains(p, target)) return p;
    return nullptr;
}

std::vector<unsigned char> QueryAdapters(GetAdaptersAddressesFn query, ULONG flags) {
    std::vector<unsigned char> buf;
    for (int tries = 0; tries < 8; ++tries) {
        ULONG size = static_cast<ULONG>(buf.size());
        auto* first = buf.empty() ? nullptr : reinterpret_cast<IP_ADAPTER_ADDRESSES*>(buf.data());
        ULONG rc = query(AF_INET, flags, nullptr, first, &size);
        if (rc == NO_ERROR) return buf;
        if (rc != ERROR_BUFFER_OVERFLOW || size <= buf.size()) break;
        buf.resize(size);
    }
    return {};
}

void AddInterfaceSocket(ImcTransport& t, const IP_ADAPTER_ADDRESSES* adapter) {
    if (adapter->OperStatus != IfOperStatusUp) return;
    const IP_ADAPTER_UNICAST_ADDRESS* unicast = adapter->FirstUnicastAddress;
    if (!unicast || !unicast->Address.lpSockaddr || unicast->Address.lpSockaddr->sa_family != AF_INET) return;
    uint32_t address = reinterpret_cast<const sockaddr_in*>(unicast->Address.lpSockaddr)->sin_addr.s_addr;
    if (!IsUsableUnicast(address)) return;
    char text[16];
    if (t.target != kImcNoTarget) {
        const IP_ADAPTER_PREFIX* prefix = PrefixForTarget(adapter, t.target);
        if (!prefix) return;
        uint32_t network = reinterpret_cast<const sockaddr_in*>(prefix->Address.lpSockaddr)->sin_addr.s_addr;
        ImcLog("Interface %d prefix: %s/%d\n", static_cast<int>(adapter->IfIndex), Dotted(network, text),
               static_cast<int>(prefix->PrefixLength));
    }
    // Port 8888 belongs to the fallback socket alone: an exclusive wildcard
    // bind and one on a single address of the same port exclude each other.
    // An interface socket sends the broadcast out of its interface from a
    // port of its own; the answers come to 8888 and the fallback reads them.
    UniqueSocket s = OpenUdpSocket(address, 0);
    if (!s) return;
    ImcLog("Opening socket #%d [%d] for interface %d using address %s\n", static_cast<int>(t.interfaceSockets.size()),
           SocketValue(s), static_cast<int>(adapter->IfIndex), Dotted(address, text));
    t.interfaceSockets.push_back(std::move(s));
}

void EnumerateInterfaces(ImcTransport& t) {
    t.interfaceSockets.clear();
    UniqueModule iphlpapi(LoadSystemLibrary("iphlpapi.dll"));
    auto query = SystemCall<GetAdaptersAddressesFn>(iphlpapi, "GetAdaptersAddresses");
    if (!query) return;
    ULONG flags = kAdapterFlags | (t.target != kImcNoTarget ? GAA_FLAG_INCLUDE_PREFIX : 0);
    std::vector<unsigned char> buf = QueryAdapters(query, flags);
    if (buf.empty()) return;
    for (auto* a = reinterpret_cast<const IP_ADAPTER_ADDRESSES*>(buf.data()); a; a = a->Next) AddInterfaceSocket(t, a);
}

void CloseSocket(UniqueSocket& s) {
    if (s) shutdown(s.get(), SD_BOTH);
    s.reset();
}

void CloseInterfaceSockets(ImcTransport& t) {
    for (UniqueSocket& s : t.interfaceSockets) CloseSocket(s);
    t.interfaceSockets.clear();
}

template <typename F>
void ForEachSocket(ImcTransport& t, F f) {
    if (t.fallbackSocket) f(t.fallbackSocket.get());
    for (UniqueSocket& s : t.interfaceSockets) f(s.get());
}

// The sockets to wait on: the fallback first, no duplicates, at most 64.
void FillWaitSet(ImcTransport& t, fd_set& set) {
    FD_ZERO(&set);
    ForEachSocket(t, [&](SOCKET s) {
        if (set.fd_count < FD_SETSIZE && !FD_ISSET(s, &set)) FD_SET(s, &set);
    });
}

DWORD PipeBytesWaiting(ImcTransport& t) {
    DWORD total = 0, inMessage = 0;
    if (!PeekNamedPipe(t.pipe.get(), nullptr, 0, nullptr, &total, &inMessage)) return 0;
    return total > inMessage ? total : inMessage;
}

// Stale datagrams must not be taken for the answer to the next request.
// Bounded in rounds and in time, so that a peer that never stops sending can
// neither keep the send from happening nor make every request pay for
// reading a full socket buffer of its junk: what is left is read, and
// refused, by the wait.
void DrainStaleInput(ImcTransport& t) {
    constexpr int kMaxRounds = 1024;
    constexpr DWORD kMaxSocketDrainMs = 50;
    char scratch[ImcFrameCapacity];
    DWORD start = GetTickCount();
    for (int round = 0; round < kMaxRounds && GetTickCount() - start < kMaxSocketDrainMs; ++round) {
        fd_set set;
        FillWaitSet(t, set);
        if (set.fd_count == 0) break;
        timeval zero{0, 0};
        if (select(0, &set, nullptr, nullptr, &zero) <= 0) break;
        for (u_int i = 0; i < set.fd_count; ++i) recv(set.fd_array[i], scratch, sizeof scratch, 0);
    }
    if (!t.pipe) return;
    for (int round = 0; round < kMaxRounds && PipeBytesWaiting(t) > 0; ++round) {
        DWORD got = 0;
        if (!ReadFile(t.pipe.get(), scratch, sizeof scratch, &got, nullptr) && GetLastError() != ERROR_MORE_DATA) break;
    }
}

void SendOnPipe(ImcTransport& t, const uint8_t* frame, int length) {
    std::vector<uint8_t> packet = WrapPipePacket(frame, static_cast<size_t>(length), t.target, t.packetId++);
    DWORD written = 0;
    WriteFile(t.pipe.get(), packet.data(), static_cast<DWORD>(packet.size()), &written, nullptr);
    char text[16];
    ImcLog("Sending on pipe to %s: %d\n", Dotted(t.target, text), static_cast<int>(written) - kImcPipeHeaderSize);
}

int SendTo(SOCKET s, const uint8_t* frame, int length, uint32_t address) {
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(kImcPort);
    to.sin_addr.s_addr = address;
    int sent = sendto(s, reinterpret_cast<const char*>(frame), length, 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
    char text[16];
    ImcLog("Sending on socket [%d] to %s: %d\n", static_cast<int>(s), Dotted(address, text), sent);
    return sent;
}

// Reads and forgets the rest of a message too large to hold.
void DiscardPipeMessage(ImcTransport& t) {
    char scratch[ImcFrameCapacity];
    DWORD got = 0;
    for (int round = 0; round < 1 << 20; ++round) {
        if (ReadFile(t.pipe.get(), scratch, sizeof scratch, &got, nullptr) || GetLastError() != ERROR_MORE_DATA) return;
    }
}

// One pipe message, when one waits: 1 taken, 0 none waiting, -1 dropped.
int ReceiveFromPipe(ImcTransport& t, ImcBuffer& frame, uint32_t& sender) {
    DWORD waiting = PipeBytesWaiting(t);
    if (waiting == 0) return 0;
    // The size comes from the other end of the pipe: an allocation that
    // fails drops the message instead of throwing.
    std::unique_ptr<uint8_t[]> packet(new (std::nothrow) uint8_t[waiting]);
    if (!packet) {
        DiscardPipeMessage(t);
        return -1;
    }
    DWORD got = 0;
    if (!ReadFile(t.pipe.get(), packet.get(), waiting, &got, nullptr)) return -1;
    PipePayload payload;
    if (!UnwrapPipePacket(packet.get(), got, payload)) return -1;
    if (ImcBufferAssign(frame, payload.frame, static_cast<int>(payload.length)) != ImcErrNone) return -1;
    sender = payload.source;
    char text[16];
    ImcLog("Receive on pipe from %s: %d\n", Dotted(sender, text), static_cast<int>(payload.length));
    return 1;
}

// What any host can put on the wire must not pass for a broken socket: an
// empty datagram, one too large for a frame (cut and flagged), or the
// port-unreachable notice a forged sender provokes is a frame that does not
// decode, and the wait goes on.
bool IsJunkDatagram(int got) {
    if (got == 0) return true;
    int error = WSAGetLastError();
    return error == WSAEMSGSIZE || error == WSAECONNRESET;
}

// One datagram with its sender and the interface it came in on (0 when the
// system does not say).
int ReceiveDatagram(ImcTransport& t, SOCKET from, ImcBuffer& frame, sockaddr_in& peer, uint32_t& interfaceIndex) {
    char* into = reinterpret_cast<char*>(frame.bytes.get());
    if (!t.receiveMessage) {
        int peerLength = sizeof peer;
        return recvfrom(from, into, ImcFrameCapacity, 0, reinterpret_cast<sockaddr*>(&peer), &peerLength);
    }
    WSABUF data{ImcFrameCapacity, into};
    alignas(WSACMSGHDR) char control[WSA_CMSG_SPACE(sizeof(IN_PKTINFO))] = {};
    WSAMSG message{};
    message.name = reinterpret_cast<sockaddr*>(&peer);
    message.namelen = sizeof peer;
    message.lpBuffers = &data;
    message.dwBufferCount = 1;
    message.Control = WSABUF{sizeof control, control};
    DWORD got = 0;
    if (t.receiveMessage(from, &message, &got, nullptr, nullptr) == SOCKET_ERROR) return SOCKET_ERROR;
    for (WSACMSGHDR* c = WSA_CMSG_FIRSTHDR(&message); c; c = WSA_CMSG_NXTHDR(&message, c))
        if (c->cmsg_level == IPPROTO_IP && c->cmsg_type == IP_PKTINFO)
            interfaceIndex = reinterpret_cast<const IN_PKTINFO*>(WSA_CMSG_DATA(c))->ipi_ifindex;
    return static_cast<int>(got);
}

void FindReceiveMessage(ImcTransport& t) {
    GUID id = WSAID_WSARECVMSG;
    DWORD size = 0;
    t.receiveMessage = nullptr;
    if (!t.fallbackSocket) return;
    if (WSAIoctl(t.fallbackSocket.get(), SIO_GET_EXTENSION_FUNCTION_POINTER, &id, sizeof id, &t.receiveMessage,
                 sizeof t.receiveMessage, &size, nullptr, nullptr) == SOCKET_ERROR)
        t.receiveMessage = nullptr;
}

// The neighbour table's IPv4 rows.
std::vector<ImcNeighbour> ReadNeighbours() {
    std::vector<unsigned char> buf;
    ULONG size = 0;
    for (int tries = 0; tries < 8; ++tries) {
        auto* table = buf.empty() ? nullptr : reinterpret_cast<MIB_IPNETTABLE*>(buf.data());
        DWORD rc = GetIpNetTable(table, &size, FALSE);
        if (rc == NO_ERROR && table) break;
        if ((rc != ERROR_INSUFFICIENT_BUFFER && rc != NO_ERROR) || size <= buf.size()) return {};
        buf.resize(size);
    }
    if (buf.empty()) return {};
    const auto* table = reinterpret_cast<const MIB_IPNETTABLE*>(buf.data());
    std::vector<ImcNeighbour> rows(table->dwNumEntries);
    for (DWORD i = 0; i < table->dwNumEntries; ++i) {
        const MIB_IPNETROW& r = table->table[i];
        rows[i].address = r.dwAddr;
        rows[i].interfaceIndex = r.dwIndex;
        rows[i].linkLength = r.dwPhysAddrLen > 8 ? 8 : r.dwPhysAddrLen;
        std::memcpy(rows[i].linkAddress, r.bPhysAddr, rows[i].linkLength);
        rows[i].valid = r.dwType != MIB_IPNET_TYPE_INVALID;
    }
    return rows;
}

// Asks the system to resolve the sender's link address, which puts it in
// the neighbour table; the system gives up after its own few retries (about
// a second). Where it cannot, nothing is lost: the sender had to resolve our
// address to answer, and the host learns its entry from that request.
void ResolveNeighbour(uint32_t sender) {
    ULONG mac[2] = {};
    ULONG length = sizeof mac;
    SendARP(sender, 0, mac, &length);
}

}  // namespace

bool ImcTransportLinkVouches(uint32_t sender, uint32_t interfaceIndex, const uint8_t mac[6]) {
    if (interfaceIndex == 0) return false;
    std::vector<ImcNeighbour> rows = ReadNeighbours();
    if (ImcLinkVouches(rows.data(), rows.size(), sender, interfaceIndex, mac)) return true;
    ResolveNeighbour(sender);
    rows = ReadNeighbours();
    bool vouches = ImcLinkVouches(rows.data(), rows.size(), sender, interfaceIndex, mac);
    char text[16];
    if (!vouches)
        ImcLog("Answer from %s on interface %d refused: not the appliance's link address\n", Dotted(sender, text),
               static_cast<int>(interfaceIndex));
    return vouches;
}

void ImcTransportOpen(ImcTransport& t, uint32_t target) {
    t.winsock.start();
    t.target = target;
    t.notifyWindow = nullptr;
    t.pipe.reset();
    t.packetId = 0;
    t.addressEvent.reset(WSACreateEvent());
    ArmAddressWatch(t);
    EnumerateInterfaces(t);
    t.fallbackSocket = OpenUdpSocket(INADDR_ANY, kImcPort);
    FindReceiveMessage(t);
    ImcLog("Opening fallback socket [%d]\n", SocketValue(t.fallbackSocket));
}

void ImcTransportClose(ImcTransport& t) {
    CloseSocket(t.fallbackSocket);
    if (t.addressEvent) {
        UniqueModule iphlpapi(LoadSystemLibrary("iphlpapi.dll"));
        auto cancel = SystemCall<CancelIPChangeNotifyFn>(iphlpapi, "CancelIPChangeNotify");
        if (cancel) cancel(&t.addressOverlapped);
        t.addressEvent.reset();
        t.addressWatch = nullptr;
    }
    CloseInterfaceSockets(t);
    t.winsock.reset();
    t.pipe.reset();
}

void ImcTransportReopen(ImcTransport& t) {
    ImcLog("Trying to work around winsock bug!\n");
    uint32_t target = t.target;
    HWND window = t.notifyWindow;
    UINT message = t.notifyMessage;
    ImcTransportClose(t);
    ImcTransportOpen(t, target);
    t.notifyWindow = window;
    t.notifyMessage = message;
    t.target = kImcNoTarget;
}

void ImcTransportSetTarget(ImcTransport& t, uint32_t address) {
    if (t.target != kImcNoTarget && address == kImcNoTarget) ImcTransportReopen(t);
    t.target = address;
    char text[16];
    ImcLog("Connecting to %s\n", Dotted(address, text));
}

// The pipe's name is predictable and any local user may create it before the
// VM does: it is opened without lending the server our identity beyond
// identification, and used only when the VM's own process serves it and it
// carries messages as the VM's pipe does.
void ImcTransportOpenPipe(ImcTransport& t, const char* name, uint32_t serverProcessId) {
    if (t.pipe || serverProcessId == 0) return;
    char path[64];
    FormatText(path, sizeof path, "\\\\.\\pipe\\%s", name ? name : "");
    UniqueFile pipe(CreateFileA(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION,
                                nullptr));
    if (!pipe) return;
    UniqueModule kernel(LoadSystemLibrary("kernel32.dll"));
    auto serverOf = SystemCall<GetNamedPipeServerProcessIdFn>(kernel, "GetNamedPipeServerProcessId");
    ULONG server = 0;
    if (!serverOf || !serverOf(pipe.get(), &server) || server != serverProcessId) {
        ImcLog("Pipe %s refused: served by process %lu, not the VM's\n", path, server);
        return;
    }
    DWORD mode = PIPE_READMODE_MESSAGE | PIPE_NOWAIT;
    if (!SetNamedPipeHandleState(pipe.get(), &mode, nullptr, nullptr)) {
        ImcLog("Pipe %s refused: its mode cannot be set (%lu)\n", path, GetLastError());
        return;
    }
    t.pipe = std::move(pipe);
    ImcLog("Connected to %s\n", path);
}

void ImcTransportSetNotifyWindow(ImcTransport& t, HWND window, UINT message) {
    ImcTransportSuspendNotify(t);
    t.notifyWindow = window;
    t.notifyMessage = message;
    ImcTransportResumeNotify(t);
}

void ImcTransportSuspendNotify(ImcTransport& t) {
    if (!t.notifyWindow) return;
    ForEachSocket(t, [&](SOCKET s) {
        WSAAsyncSelect(s, t.notifyWindow, 0, 0);
        u_long nonBlocking = 1;
        ioctlsocket(s, FIONBIO, &nonBlocking);
    });
}

void ImcTransportResumeNotify(ImcTransport& t) {
    if (!t.notifyWindow) return;
    ForEachSocket(t, [&](SOCKET s) { WSAAsyncSelect(s, t.notifyWindow, t.notifyMessage, FD_READ); });
}

void ImcTransportPostNotify(ImcTransport& t) {
    if (t.notifyWindow) PostMessageA(t.notifyWindow, t.notifyMessage, 0, 0);
}

uint32_t ImcTransportAddressChanges(ImcTransport& t) {
    if (t.addressEvent && WaitForSingleObject(t.addressEvent.get(), 0) == WAIT_OBJECT_0) {
        WSAResetEvent(t.addressEvent.get());
        ArmAddressWatch(t);
        ++t.addressChanges;
        t.interfacesStale = true;
    }
    return t.addressChanges;
}

int ImcTransportSend(ImcTransport& t, const uint8_t* frame, int length) {
    DrainStaleInput(t);
    if (t.pipe) SendOnPipe(t, frame, length);
    if (t.target == kImcNoTarget) {
        ImcTransportAddressChanges(t);
        if (t.interfacesStale) {
            t.interfacesStale = false;
            CloseInterfaceSockets(t);
            EnumerateInterfaces(t);
        }
        bool anySent = false;
        for (UniqueSocket& s : t.interfaceSockets)
            if (SendTo(s.get(), frame, length, kImcNoTarget) >= 0) anySent = true;
        if (anySent) return ImcErrNone;
    }
    if (!t.fallbackSocket) return ImcErrTransport;
    return SendTo(t.fallbackSocket.get(), frame, length, t.target) >= 0 ? ImcErrNone : ImcErrTransport;
}

int ImcTransportReceive(ImcTransport& t, ImcBuffer& frame, uint32_t& sender, bool& viaPipe, uint32_t& interfaceIndex) {
    viaPipe = false;
    interfaceIndex = 0;
    for (;;) {
        if (t.pipe) {
            int got = ReceiveFromPipe(t, frame, sender);
            viaPipe = got == 1;
            if (got == 1) return ImcErrNone;
            // A packet that failed the check is dropped; the sockets are
            // looked at before the pipe again, so a pipe that keeps failing
            // cannot spin here.
        }
        fd_set set;
        FillWaitSet(t, set);
        if (set.fd_count == 0) {
            Sleep(kReceivePollUs / 1000);
            return ImcErrTimeout;
        }
        timeval wait{0, kReceivePollUs};
        int ready = select(0, &set, nullptr, nullptr, &wait);
        if (ready == SOCKET_ERROR && WSAGetLastError() == WSAEINTR) continue;
        if (ready <= 0) return ImcErrTimeout;
        SOCKET from = INVALID_SOCKET;
        if (t.fallbackSocket && FD_ISSET(t.fallbackSocket.get(), &set)) from = t.fallbackSocket.get();
        for (size_t i = 0; from == INVALID_SOCKET && i < t.interfaceSockets.size(); ++i)
            if (FD_ISSET(t.interfaceSockets[i].get(), &set)) from = t.interfaceSockets[i].get();
        if (from == INVALID_SOCKET) return ImcErrTimeout;
        if (ImcBufferAllocate(frame, ImcFrameCapacity) != ImcErrNone) return ImcErrNoMemory;
        sockaddr_in peer{};
        int got;
        do {
            got = ReceiveDatagram(t, from, frame, peer, interfaceIndex);
        } while (got == SOCKET_ERROR && WSAGetLastError() == WSAEINTR);
        char text[16];
        ImcLog("Receive on socket [%d] from %s: %d\n", static_cast<int>(from), Dotted(peer.sin_addr.s_addr, text), got);
        if (got <= 0) {
            ImcBufferFree(frame);
            return IsJunkDatagram(got) ? ImcErrMalformed : ImcErrTransport;
        }
        ImcBufferSetLimit(frame, got);
        sender = peer.sin_addr.s_addr;
        return ImcErrNone;
    }
}

}  // namespace holv
