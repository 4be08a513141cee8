// The session with the appliance: what the host knows of it (identity,
// address, routes, status texts) and the periodic exchange that keeps that
// knowledge and the host's network in line with it. The backend owns the
// record and supplies the few things only it can do through SessionHost.
#pragma once
#include <windows.h>

#include <cstdint>
#include <string>

#include "session/RouteSet.h"

namespace holv {

// What the session asks of the backend that owns it.
class SessionHost {
public:
    virtual ~SessionHost() = default;
    virtual int CurrentState() const = 0;
    virtual void RaiseState(int level) = 0;  // to at least level
    virtual void LowerState(int level) = 0;  // to at most level
    // 0 when a host interface lies in the appliance's subnet.
    virtual int CheckApplianceLink() = 0;
    // The VM's files: the appliance's MAC address (and pipe name) again, the
    // VM's UUID, a value written to the configuration file, its path.
    virtual int RereadAdapterAddresses() = 0;
    virtual int ReadVmUuid(uint8_t uuid[16]) const = 0;
    virtual int WriteVmValue(const char* key, const char* value) = 0;
    virtual const std::string& VmConfigPath() const = 0;
};

// The appliance's "[exit]": the session only reports it; the owner of the
// main window carries it out.
enum SessionExit : int { SessionExitNone, SessionExitStop, SessionExitExit };

struct ApplianceSession {
    // Routes go through the process's route system (ActiveRouteSystem).
    ApplianceSession();
    ApplianceSession(const ApplianceSession&) = delete;
    ApplianceSession& operator=(const ApplianceSession&) = delete;

    HWND notifyWindow = nullptr;  // input notices are off during a step
    UINT notifyMessage = 0;
    uint8_t applianceMac[6] = {};
    char productName[100] = {};
    char savedProductName[100] = {};
    char firmware[100] = {};
    char hostName[100] = {};
    char savedHostName[100] = {};
    char serialNo[50] = {};
    char savedSerialNo[50] = {};
    uint32_t applianceIp = 0;  // network order
    int resync = 1;            // the next contact registers the host's identity again
    int reportDisconnected = 1;
    bool inContact = false;  // as last told to the event log
    RouteSet routes;         // removes what it installed when the session goes
    char trellisportServer[32] = {};
    char rkConnection[128] = {};
    char pipeName[32] = {};
    // The VM's own process, which alone may serve the pipe; 0 while the
    // backend does not know it (the pipe is then not used).
    uint32_t vmProcessId = 0;
    SessionExit exitRequest = SessionExitNone;  // until the owner takes it
};

// One exchange with the appliance: is it there, who is it, what does it want.
// The status query's ImcResult, the registration's error, or 0.
int RunSessionStep(ApplianceSession& session, SessionHost& host);

// Carries out an action text the appliance asked for.
void CarryOutAction(ApplianceSession& session, const std::string& text);

// Routes and DNS suffixes must not outlive a running appliance: removes every
// installed route and puts the user's search list back.
void CleanUpHostNetwork(ApplianceSession& session);

}  // namespace holv
