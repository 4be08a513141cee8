#include "backends/Cvmx.h"

// winsock2.h ahead of the IP Helper header.
// clang-format off
#include <winsock2.h>
#include <iphlpapi.h>
// clang-format on

#include <utility>
#include <vector>

#include "base/Address.h"
#include "host/ProcessLaunch.h"
#include "imc/ImcOperations.h"
#include "session/SearchList.h"

namespace holv {

Cvmx::~Cvmx() {
    if (state > StateNone) {
        ImcDestroy();
        state = StateNone;
    }
}

void Cvmx::CleanUpHostNetwork() {
    holv::CleanUpHostNetwork(session);
}

int Cvmx::RequestApplianceShutdown() {
    return ImcRequestShutdown(session.applianceMac);
}

void Cvmx::SetNotifyWindow(HWND window, UINT message) {
    session.notifyWindow = window;
    session.notifyMessage = message;
    ImcSetNotifyWindow(window, message);
}

int Cvmx::RunNetConfig() {
    if (!netConfigCommand) return ERROR_FILE_NOT_FOUND;
    return RunCommand(0, 0, "%s", netConfigCommand->c_str());
}

const char* Cvmx::GetProductName() const {
    return session.productName[0] ? session.productName : session.savedProductName;
}

const char* Cvmx::GetHostName() const {
    return session.hostName[0] ? session.hostName : session.savedHostName;
}

const char* Cvmx::GetSerialNo() const {
    return session.serialNo[0] ? session.serialNo : session.savedSerialNo;
}

const char* Cvmx::GetIpText() const {
    static char text[16];
    FormatIpv4(text, sizeof text, session.applianceIp);
    return text;
}

const char* Cvmx::GetTrellisportServer() const {
    return state == StateRunning && session.trellisportServer[0] ? session.trellisportServer : nullptr;
}

const char* Cvmx::GetRkConnection() const {
    return state == StateRunning && session.rkConnection[0] ? session.rkConnection : nullptr;
}

namespace {

// The system's whole address table: the costly part of a link check.
int ReadHostAddresses(std::vector<HostAddress>& rows) {
    std::vector<unsigned char> buf(sizeof(MIB_IPADDRTABLE));
    for (;;) {
        ULONG size = static_cast<ULONG>(buf.size());
        DWORD rc = GetIpAddrTable(reinterpret_cast<MIB_IPADDRTABLE*>(buf.data()), &size, FALSE);
        if (rc == NO_ERROR) break;
        if (rc != ERROR_INSUFFICIENT_BUFFER || size <= buf.size()) return static_cast<int>(rc);
        buf.resize(size);
    }
    const auto* table = reinterpret_cast<const MIB_IPADDRTABLE*>(buf.data());
    rows.clear();
    rows.reserve(table->dwNumEntries);
    for (DWORD i = 0; i < table->dwNumEntries; ++i) rows.push_back({table->table[i].dwAddr, table->table[i].dwMask});
    return 0;
}

}  // namespace

// Runs at every step while Running: the table is read again only when an
// address changed, contact was lost, or the copy is a minute old.
int Cvmx::CheckLink() {
    if (!IsUsableUnicast(session.applianceIp)) return 1;
    uint32_t changes = ImcAddressChanges();
    uint64_t now = GetTickCount64();
    if (HostAddressesStale(hostAddresses, changes, now)) {
        std::vector<HostAddress> rows;
        if (int rc = ReadHostAddresses(rows)) return rc;
        KeepHostAddresses(hostAddresses, std::move(rows), changes, now);
    }
    return HasAddressInSubnet(hostAddresses.rows, session.applianceIp) ? 0 : 1;
}

}  // namespace holv
