#include "session/ApplianceSession.h"

#include <cstring>

#include "base/Address.h"
#include "base/EventLog.h"
#include "base/SystemFolder.h"
#include "base/Text.h"
#include "host/Browser.h"
#include "host/ProcessLaunch.h"
#include "host/RegistryReport.h"
#include "imc/ImcLog.h"
#include "imc/ImcOperations.h"
#include "imc/ImcTransport.h"
#include "imc/ImcVariables.h"
#include "session/ActionText.h"
#include "session/HostName.h"
#include "session/RouteJournal.h"
#include "session/SearchList.h"
#include "session/VmState.h"

namespace holv {
namespace {

constexpr uint32_t kFlagWantsIdentity = 0x20000;
constexpr uint32_t kFlagIdentityOptions = 0x40000000;

// The appliance's route lists, read over IMC.
class ImcRouteLists : public RouteListSource {
public:
    int ReadRouteList(const uint8_t mac[6], int index, char* buffer, int& length) override {
        return ImcGetString(mac, "", "", kGroupSystem, static_cast<uint16_t>(kItemFirstRouteList + index), length,
                            buffer);
    }
};

// Reads a text variable into a buffer one byte larger than `max`; true with
// the text terminated at its length.
bool ReadText(const uint8_t* mac, uint16_t group, uint16_t item, char* buffer, int max) {
    int length = max;
    if (ImcGetString(mac, "", "", group, item, length, buffer) != ImcOk) return false;
    buffer[length < 0 ? 0 : (length > max ? max : length)] = '\0';
    return true;
}

// Keeps a value the appliance reported in the VM file, written only when it
// changed, so a steady appliance never rewrites the file.
void RememberIdentity(SessionHost& host, const char* fresh, char* saved, size_t savedSize, const char* key) {
    if (std::strcmp(fresh, saved) == 0) return;
    CopyText(saved, savedSize, fresh);
    host.WriteVmValue(key, saved);
}

// The appliance's script, when the file exists, by the command interpreter.
// The path is quoted, so blanks and the interpreter's own characters (& | <
// > ^ ( )) in it are part of the name; /s and the outer pair of quotes make
// cmd take the inner ones as they stand. A '"' in the path could end the
// quoting, and no file name holds one: such a path is refused.
void RunScript(const std::string& path) {
    if (path.find('"') != std::string::npos) {
        ImcLog("Action refused: a script path with a quote\n");
        ReportHolvEvent(HolvEvent::ActionRefused, "a script path with a quote: " + path);
        return;
    }
    if (GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES) return;
    RunCommandAsDesktopUser(kNoWait, DETACHED_PROCESS, "\"%s\" /s /c \"\"%s\"\"", SystemFilePath("cmd.exe").c_str(),
                            path.c_str());
}

// The event log hears of the appliance when it comes and goes, not on every
// step.
void ReportContact(ApplianceSession& s, bool reachable) {
    uint16_t event = ContactEvent(s.inContact, reachable);
    if (!event) return;
    char address[16] = {};
    char detail[160] = {};
    FormatIpv4(address, sizeof address, s.applianceIp);
    if (reachable) FormatText(detail, sizeof detail, "%s at %s", s.productName, address);
    ReportHolvEvent(static_cast<HolvEvent>(event), detail);
}

void LoseContact(ApplianceSession& s, SessionHost& host) {
    ImcSetTarget(kImcNoTarget);
    s.resync = 1;
    host.LowerState(StateStarting);
    CleanUpHostNetwork(s);
}

int ConverseWhileRunning(ApplianceSession& s, SessionHost& host, uint32_t flags) {
    if (s.resync || (flags & kFlagWantsIdentity)) {
        if (int rc = RegisterHostName(s, host, static_cast<int>(flags & kFlagIdentityOptions))) return rc;
        char serial[50];
        if (ReadText(s.applianceMac, kGroupSystem, kItemSerial, serial, 49)) {
            CopyText(s.serialNo, serial);
            RememberIdentity(host, s.serialNo, s.savedSerialNo, sizeof s.savedSerialNo, "appliance.serialno");
        }
    }
    RememberIdentity(host, s.hostName, s.savedHostName, sizeof s.savedHostName, "appliance.hostname");
    RememberIdentity(host, s.productName, s.savedProductName, sizeof s.savedProductName, "appliance.productname");
    ImcRouteLists lists;
    s.routes.InstallRoutes(s.applianceIp, s.applianceMac, true, lists);

    if (!ReadText(s.applianceMac, kGroupHostAgent, kItemTrellisport, s.trellisportServer,
                  sizeof s.trellisportServer - 1)) {
        s.trellisportServer[0] = s.rkConnection[0] = '\0';
    } else if (!ReadText(s.applianceMac, kGroupHostAgent, kItemRkConnection, s.rkConnection,
                         sizeof s.rkConnection - 1)) {
        s.rkConnection[0] = '\0';
    }
    char action[512];
    if (ReadText(s.applianceMac, kGroupHostAgent, kItemAction, action, 511) && action[0]) CarryOutAction(s, action);
    return 0;
}

}  // namespace

ApplianceSession::ApplianceSession() : routes(ActiveRouteSystem(), &JournalRouteRecord()) {}

void CleanUpHostNetwork(ApplianceSession& session) {
    session.routes.RemoveAllRoutes();
    UpdateSearchList(nullptr);
}

void CarryOutAction(ApplianceSession& s, const std::string& text) {
    Action action = ParseAction(text);
    switch (action.kind) {
        case ActionOpenUrl: OpenUrl(action.argument.c_str()); break;
        case ActionExit:
            // Only a program with a main window has anything to stop or end.
            if (s.notifyWindow)
                s.exitRequest = ExitActionMeansExit(action.argument) ? SessionExitExit : SessionExitStop;
            break;
        case ActionReg: ReportRegistryValue(s.applianceMac, action.argument.c_str()); break;
        case ActionSuffix: UpdateSearchList(action.argument.c_str()); break;
        case ActionScript: RunScript(action.argument); break;
        case ActionCommand: RunCommand(kNoWait, DETACHED_PROCESS, "%s", action.argument.c_str()); break;
        case ActionNone: break;
    }
}

int RunSessionStep(ApplianceSession& s, SessionHost& host) {
    if (s.notifyWindow) ImcSetNotifyWindow(nullptr, 0);
    if (host.CurrentState() < StateRunning) {
        host.RereadAdapterAddresses();  // an address may appear only after the VM started
        if (s.pipeName[0]) ImcOpenPipe(s.pipeName, s.vmProcessId);
    }
    uint32_t flags = 0;
    int result = ImcQueryStatus(s.applianceMac, s.productName, s.firmware, s.hostName, &s.applianceIp, &flags);
    bool reachable = result == ImcOk && host.CheckApplianceLink() == 0;
    ReportContact(s, reachable);
    if (!reachable) {
        LoseContact(s, host);
    } else {
        ImcSetTarget(s.applianceIp);
        host.RaiseState(StateRunning);
        result = ConverseWhileRunning(s, host, flags);
    }
    if (s.notifyWindow) ImcSetNotifyWindow(s.notifyWindow, s.notifyMessage);
    return result;
}

}  // namespace holv
