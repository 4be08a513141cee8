// Moves encoded frames between the program and the appliance: UDP port 8888
// on every usable interface (broadcast while the appliance's address is not
// known), a wildcard fallback socket, and optionally a named pipe that
// carries IPv4/UDP packets.
#pragma once
// clang-format off
#include <winsock2.h>
#include <windows.h>
#include <mswsock.h>
// clang-format on

#include <cstdint>
#include <vector>

#include "base/Unique.h"
#include "imc/ImcBuffer.h"

namespace holv {

inline constexpr uint32_t kImcNoTarget = 0xFFFFFFFF;

struct ImcTransport {
    UniqueSocket fallbackSocket;
    uint32_t target = kImcNoTarget;  // network order
    HWND notifyWindow = nullptr;
    UINT notifyMessage = 0;  // what input notices are posted as
    std::vector<UniqueSocket> interfaceSockets;
    UniqueFile pipe;
    uint16_t packetId = 0;
    // The watch on the host's address list: signalled when it changes.
    UniqueHandle addressEvent;
    HANDLE addressWatch = nullptr;
    OVERLAPPED addressOverlapped{};
    // Changes the watch has seen, across reopens; the interface sockets
    // are opened again at the next broadcast after one.
    uint32_t addressChanges = 0;
    bool interfacesStale = false;
    WinsockStartup winsock;
    LPFN_WSARECVMSG receiveMessage = nullptr;  // null: recvfrom, arrival unknown
};

void ImcTransportOpen(ImcTransport& t, uint32_t target);
void ImcTransportClose(ImcTransport& t);
void ImcTransportReopen(ImcTransport& t);
void ImcTransportSetTarget(ImcTransport& t, uint32_t address);
// Opens the VM's pipe once: only one served by process `serverProcessId`.
void ImcTransportOpenPipe(ImcTransport& t, const char* name, uint32_t serverProcessId);
// Input notices go to window as `message` (the owner's choice of number).
void ImcTransportSetNotifyWindow(ImcTransport& t, HWND window, UINT message);
void ImcTransportSuspendNotify(ImcTransport& t);
void ImcTransportResumeNotify(ImcTransport& t);
void ImcTransportPostNotify(ImcTransport& t);
// How many changes of the host's address list the watch has seen so far.
uint32_t ImcTransportAddressChanges(ImcTransport& t);
// 0 or ImcErrTransport.
int ImcTransportSend(ImcTransport& t, const uint8_t* frame, int length);
// 0 with one frame in `frame`, its sender (network order), the interface it
// came in on (0 when unknown) and whether it came off the pipe; ImcErrTimeout after 100 ms without input;
// ImcErrMalformed for a datagram that can be no frame (empty, too large); ImcErrTransport when the read fails.
int ImcTransportReceive(ImcTransport& t, ImcBuffer& frame, uint32_t& sender, bool& viaPipe, uint32_t& interfaceIndex);
// Whether the host's neighbour table holds `mac` for the sender on that
// interface; resolves the entry once when it is missing.
bool ImcTransportLinkVouches(uint32_t sender, uint32_t interfaceIndex, const uint8_t mac[6]);

}  // namespace holv
