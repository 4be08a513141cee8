// One exchange with the appliance: is it there, who is it, what does it want.
#include <cstring>

#include "app/Program.h"
#include "backends/Cvmx.h"
#include "base/Text.h"
#include "host/ProcessLaunch.h"
#include "imc/ImcOperations.h"
#include "imc/ImcTransport.h"
#include "session/ActionText.h"

namespace holv {
namespace {

constexpr uint16_t kGroupSystem = 0x200;
constexpr uint16_t kItemSerial = 0x280;
constexpr uint16_t kGroupRemote = 0xF000;
constexpr uint16_t kItemTrellisport = 0xF010;
constexpr uint16_t kItemRkConnection = 0xF011;
constexpr uint16_t kItemAction = 0xF080;
constexpr uint32_t kFlagWantsIdentity = 0x20000;
constexpr uint32_t kFlagIdentityOptions = 0x40000000;

// Reads a text variable into a buffer one byte larger than `max`; true with
// the text terminated at its length.
bool ReadText(const uint8_t* mac, uint16_t group, uint16_t item, char* buffer, int max) {
    int length = max;
    if (ImcGetString(mac, "", "", group, item, length, buffer) != ImcOk) return false;
    buffer[length < 0 ? 0 : (length > max ? max : length)] = '\0';
    return true;
}

}  // namespace

// Keeps a value the appliance reported in the VM file, written only when it
// changed, so a steady appliance never rewrites the file.
void Cvmx::RememberIdentity(const char* fresh, char* saved, size_t savedSize, const char* key) {
    if (std::strcmp(fresh, saved) == 0) return;
    CopyText(saved, savedSize, fresh);
    WriteVmxValue(key, saved);
}

void Cvmx::LoseContact() {
    ImcSetTarget(kImcNoTarget);
    resync = 1;
    if (state == StateRunning) state = StateStarting;
    CleanUpHostNetwork();
}

void Cvmx::CarryOutAction(const std::string& text) {
    Action action = ParseAction(text);
    switch (action.kind) {
        case ActionOpenUrl: OpenUrlAction(action.argument); break;
        case ActionExit:
            if (notifyWindow)
                PostMessageA(notifyWindow, WM_COMMAND, ExitActionMeansExit(action.argument) ? CmdExit : CmdStop, 0);
            break;
        case ActionReg: ReportRegistryAction(action.argument); break;
        case ActionSuffix: SearchListAction(action.argument); break;
        case ActionScript:
            if (GetFileAttributesA(action.argument.c_str()) != INVALID_FILE_ATTRIBUTES)
                RunCommandAsDesktopUser(kNoWait, DETACHED_PROCESS, "cmd.exe /c %s", action.argument.c_str());
            break;
        case ActionCommand: RunCommand(kNoWait, DETACHED_PROCESS, "%s", action.argument.c_str()); break;
        case ActionNone: break;
    }
}

int Cvmx::SessionStep() {
    if (notifyWindow) ImcSetNotifyWindow(nullptr);
    if (state < StateRunning) {
        ReadAdapterAddresses(kind);  // an address may appear only after the VM started
        if (pipeName[0]) ImcOpenPipe(pipeName);
    }
    uint32_t flags = 0;
    int result = ImcQueryStatus(applianceMac, productName, firmware, hostName, &applianceIp, &flags);
    if (result != ImcOk || CheckLink() != 0) {
        LoseContact();
    } else {
        ImcSetTarget(applianceIp);
        state = StateRunning;
        result = ConverseWhileRunning(flags);
    }
    if (notifyWindow) ImcSetNotifyWindow(notifyWindow);
    return result;
}

int Cvmx::ConverseWhileRunning(uint32_t flags) {
    if (resync || (flags & kFlagWantsIdentity)) {
        if (int rc = RegisterHostName(static_cast<int>(flags & kFlagIdentityOptions))) return rc;
        char serial[50];
        if (ReadText(applianceMac, kGroupSystem, kItemSerial, serial, 49)) {
            CopyText(serialNo, serial);
            RememberIdentity(serialNo, savedSerialNo, sizeof savedSerialNo, "appliance.serialno");
        }
    }
    RememberIdentity(hostName, savedHostName, sizeof savedHostName, "appliance.hostname");
    RememberIdentity(productName, savedProductName, sizeof savedProductName, "appliance.productname");
    InstallRoutesAction();

    if (!ReadText(applianceMac, kGroupRemote, kItemTrellisport, trellisportServer, sizeof trellisportServer - 1)) {
        trellisportServer[0] = rkConnection[0] = '\0';
    } else if (!ReadText(applianceMac, kGroupRemote, kItemRkConnection, rkConnection, sizeof rkConnection - 1)) {
        rkConnection[0] = '\0';
    }
    char action[512];
    if (ReadText(applianceMac, kGroupRemote, kItemAction, action, 511) && action[0]) CarryOutAction(action);
    return 0;
}

}  // namespace holv
