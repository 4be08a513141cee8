// The hypervisor backend: the VM's state, its configuration file and the
// session with the appliance that all hypervisors share, and the operations
// each one implements.
#pragma once
#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "base/HostAddressCache.h"
#include "session/ApplianceSession.h"
#include "session/RouteList.h"
#include "session/VmState.h"

namespace holv {

enum BackendKind : int {
    KindPlayer = 1,
    KindWorkstation = 2,
    KindServer = 3,
    KindVBox = 4,
};

class Cvmx : private SessionHost {
public:
    ~Cvmx() override;
    Cvmx(const Cvmx&) = delete;
    Cvmx& operator=(const Cvmx&) = delete;

    // Slot order matters to nobody now, but it is the order the family was
    // designed in: keep it.
    virtual int Open() = 0;
    virtual int Close() = 0;
    virtual int Prepare() = 0;
    virtual int Release() = 0;
    virtual int Start(int show) = 0;
    virtual int Stop() = 0;
    virtual int Poll(int refresh, int converse) = 0;
    virtual int CheckInstall() = 0;
    virtual int CheckLink();

    // Start-up step: reads the VM file, checks the hypervisor, fixes a few VM
    // settings. 0 or 1062 on success; 11, 1359 or CheckInstall's error.
    int LoadVmConfig(const std::string& path);

    // Input notices from the appliance go to window as `message`.
    void SetNotifyWindow(HWND window, UINT message);
    int RunNetConfig();

    int GetKind() const { return kind; }
    int GetState() const { return state; }
    const std::string& GetConfigPath() const { return configPath; }
    const char* GetProductName() const;
    const char* GetFirmware() const { return session.firmware; }
    const char* GetHostName() const;
    const char* GetSerialNo() const;
    uint32_t GetApplianceIp() const { return session.applianceIp; }  // network order, 0 unknown
    // Dotted text of the appliance's address in a buffer the next call reuses.
    const char* GetIpText() const;
    int GetReportDisconnected() const { return session.reportDisconnected; }
    const char* GetTrellisportServer() const;
    const char* GetRkConnection() const;
    // The routes installed towards the appliance, in list order.
    const std::vector<RoutePair>& GetRouteEntries() const { return session.routes.Installed(); }
    // The routes the system refused, each with its reason.
    const std::vector<RouteFailure>& GetFailedRoutes() const { return session.routes.Failed(); }

    // The VM file as this backend's small persistent store.
    std::optional<std::string> ReadVmxValue(const char* key) const;
    int WriteVmxValue(const char* key, const char* value);
    int ReadAdapterAddresses(int sourceKind);
    int ReadMachineUuid(uint8_t uuid[16]) const;
    int GetConnectionType() const;
    int SetConnectionType(int index);

    // One exchange with the appliance: state, identity, routes, action.
    int SessionStep();
    // The host's network may look different now (a resume from sleep): the
    // link check reads the host's addresses again, the route set its table.
    void NoteNetworkChange() {
        ForgetHostAddresses(hostAddresses);
        session.routes.ForgetTable();
    }
    // Carries out an action text the appliance asked for.
    void CarryOutAction(const std::string& text);
    // The appliance's last "[exit]" (Stop or Exit), once; None when there
    // was none since the last call.
    SessionExit TakeExitRequest();

protected:
    explicit Cvmx(int backendKind) : kind(backendKind) {}

    void LowerStateTo(int level) {
        if (state > level) state = level;
    }
    void RaiseStateTo(int level) {
        if (state < level) state = level;
    }
    // Routes and DNS suffixes must not outlive a running appliance.
    void CleanUpHostNetwork();
    // Asks the appliance to shut itself down; 0 when it will.
    int RequestApplianceShutdown();
    // The host's identity for the appliance; clears resync on success.
    int RegisterHostName(int options);

    int state = StateNone;
    std::string configPath;
    ApplianceSession session;

private:
    // What the session asks of the backend.
    int CurrentState() const override { return state; }
    void RaiseState(int level) override { RaiseStateTo(level); }
    void LowerState(int level) override { LowerStateTo(level); }
    int CheckApplianceLink() override { return CheckLink(); }
    int RereadAdapterAddresses() override { return ReadAdapterAddresses(kind); }
    int ReadVmUuid(uint8_t uuid[16]) const override { return ReadMachineUuid(uuid); }
    int WriteVmValue(const char* key, const char* value) override { return WriteVmxValue(key, value); }
    const std::string& VmConfigPath() const override { return configPath; }

    std::optional<std::string> netConfigCommand;
    HostAddressCache hostAddresses;  // what the link check last read
    const int kind;
};

}  // namespace holv
