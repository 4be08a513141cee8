#include "backends/Cvmx.h"

#include <winsock2.h>
#include <iphlpapi.h>

#include <vector>

#include "backends/LinkRule.h"
#include "host/ProcessLaunch.h"
#include "imc/ImcOperations.h"
#include "session/VmxFile.h"
#include "session/VmxFileConnection.h"
#include "session/VmxFileIdentity.h"

namespace holv {

const char* StateName(int state) {
    switch (state) {
        case StateStopped: return "Stopped";
        case StateStarting: return "Starting...";
        case StateRunning: return "Running";
        default: return "VMware service not ready";
    }
}

Cvmx::~Cvmx() {
    if (state > StateNone) {
        ImcDestroy();
        state = StateNone;
    }
}

void Cvmx::CleanUpHostNetwork() {
    RemoveInstalledRoutes();
    RestoreSearchList();
}

int Cvmx::RequestApplianceShutdown() { return ImcRequestShutdown(applianceMac); }

void Cvmx::SetNotifyWindow(HWND window) {
    notifyWindow = window;
    ImcSetNotifyWindow(window);
}

int Cvmx::RunNetConfig() {
    if (!netConfigCommand) return ERROR_FILE_NOT_FOUND;
    return RunCommand(0, 0, "%s", netConfigCommand->c_str());
}

const char* Cvmx::GetIpText() const {
    static char text[16];
    const uint8_t* b = reinterpret_cast<const uint8_t*>(&applianceIp);
    FormatIpv4(text, sizeof text, b);
    return text;
}

const char* Cvmx::GetTrellisportServer() const {
    return state == StateRunning && trellisportServer[0] ? trellisportServer : nullptr;
}

const char* Cvmx::GetRkConnection() const { return state == StateRunning && rkConnection[0] ? rkConnection : nullptr; }

int Cvmx::CheckLink() {
    if (!IsUsableUnicast(applianceIp)) return 1;
    std::vector<unsigned char> buf(sizeof(MIB_IPADDRTABLE));
    for (;;) {
        ULONG size = static_cast<ULONG>(buf.size());
        DWORD rc = GetIpAddrTable(reinterpret_cast<MIB_IPADDRTABLE*>(buf.data()), &size, FALSE);
        if (rc == NO_ERROR) break;
        if (rc != ERROR_INSUFFICIENT_BUFFER || size <= buf.size()) return static_cast<int>(rc);
        buf.resize(size);
    }
    const auto* table = reinterpret_cast<const MIB_IPADDRTABLE*>(buf.data());
    std::vector<HostAddress> rows;
    rows.reserve(table->dwNumEntries);
    for (DWORD i = 0; i < table->dwNumEntries; ++i) rows.push_back({table->table[i].dwAddr, table->table[i].dwMask});
    return HasAddressInSubnet(rows, applianceIp) ? 0 : 1;
}

std::optional<std::string> Cvmx::ReadVmxValue(const char* key) const { return holv::ReadVmxValue(configPath, key); }

int Cvmx::WriteVmxValue(const char* key, const char* value) { return holv::WriteVmxValue(configPath, key, value); }

int Cvmx::ReadAdapterAddresses(int sourceKind) {
    return holv::ReadAdapterAddresses(configPath, sourceKind == KindVBox, applianceMac, pipeName);
}

int Cvmx::ReadMachineUuid(uint8_t uuid[16]) const { return holv::ReadMachineUuid(configPath, kind == KindVBox, uuid); }

int Cvmx::GetConnectionType() const { return holv::GetConnectionType(configPath); }

int Cvmx::SetConnectionType(int index) { return holv::SetConnectionType(configPath, index); }

}  // namespace holv
