// The hypervisor backend: the VM's state and the appliance identity that all
// hypervisors share, and the operations each one implements.
#pragma once
#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "session/RouteSet.h"
#include "ui/StatusText.h"

namespace holv {

// Ordered: code compares states as numbers ("at least Starting").
enum VmState : int {
    StateNone = 0,
    StateLoaded = 1,
    StateOpen = 2,
    StateStopped = 3,
    StateStarting = 4,
    StateRunning = 5,
};

enum BackendKind : int {
    KindPlayer = 1,
    KindWorkstation = 2,
    KindServer = 3,
    KindVBox = 4,
};

const char* StateName(int state);

class Cvmx {
public:
    virtual ~Cvmx();
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

    void SetNotifyWindow(HWND window);
    int RunNetConfig();

    int GetKind() const { return kind; }
    int GetState() const { return state; }
    const char* GetProductName() const { return productName[0] ? productName : savedProductName; }
    const char* GetFirmware() const { return firmware; }
    const char* GetHostName() const { return hostName[0] ? hostName : savedHostName; }
    const char* GetSerialNo() const { return serialNo[0] ? serialNo : savedSerialNo; }
    // Dotted text of the appliance's address in a buffer the next call reuses.
    const char* GetIpText() const;
    int GetReportDisconnected() const { return reportDisconnected; }
    const char* GetTrellisportServer() const;
    const char* GetRkConnection() const;
    // The routes installed towards the appliance, in list order.
    std::vector<RouteEntry> GetRouteEntries() const;

    // The VM file as this backend's small persistent store.
    std::optional<std::string> ReadVmxValue(const char* key) const;
    int WriteVmxValue(const char* key, const char* value);
    int ReadAdapterAddresses(int sourceKind);
    int ReadMachineUuid(uint8_t uuid[16]) const;
    int GetConnectionType() const;
    int SetConnectionType(int index);

    // One exchange with the appliance: state, identity, routes, action.
    int SessionStep();
    // Carries out an action text the appliance asked for.
    void CarryOutAction(const std::string& text);

protected:
    explicit Cvmx(int backendKind) : kind(backendKind) {}

    // Lowers the state to at most the given level.
    void LowerStateTo(int level) {
        if (state > level) state = level;
    }
    void RaiseStateTo(int level) {
        if (state < level) state = level;
    }
    // Routes and DNS suffixes must not outlive a running appliance.
    void CleanUpHostNetwork();
    void RemoveInstalledRoutes();
    // Puts back the user's DNS search list if an appliance changed it.
    void RestoreSearchList();
    // Asks the appliance to shut itself down; 0 when it will.
    int RequestApplianceShutdown();

private:
    int ConverseWhileRunning(uint32_t statusFlags);
    void LoseContact();
    void RememberIdentity(const char* fresh, char* saved, size_t savedSize, const char* key);
    // The host's identity for the appliance; clears resync on success.
    int RegisterHostName(int options);
    void InstallRoutesAction();
    void OpenUrlAction(const std::string& url);
    void ReportRegistryAction(const std::string& path);
    void SearchListAction(const std::string& suffixTemplate);

protected:

public:
    int state = StateNone;
    std::string configPath;
    std::optional<std::string> netConfigCommand;
    HWND notifyWindow = nullptr;
    uint8_t applianceMac[6] = {};
    char productName[100] = {};
    char savedProductName[100] = {};
    char firmware[100] = {};
    char hostName[100] = {};
    char savedHostName[100] = {};
    char serialNo[50] = {};
    char savedSerialNo[50] = {};
    uint32_t applianceIp = 0;  // network order
    int resync = 1;
    int reportDisconnected = 1;
    RouteSet routes;  // removes what it installed when the backend goes
    char trellisportServer[32] = {};
    char rkConnection[128] = {};
    const int kind;
    char pipeName[32] = {};
};

}  // namespace holv
