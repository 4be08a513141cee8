#include "backends/CvmxVBox.h"

#include <algorithm>

#include "backends/VBoxCommands.h"
#include "base/SystemFolder.h"
#include "host/ProcessLaunch.h"
#include "host/ProcessList.h"

namespace holv {
namespace {

constexpr DWORD kFrontEndFlags = CREATE_NO_WINDOW | CREATE_NEW_PROCESS_GROUP | DETACHED_PROCESS;
constexpr DWORD kShutdownGraceMs = 5000;

// A tool that hangs on VirtualBox's service is ended after its bound.
int RunTool(int waitMs, const std::string& line) {
    return RunCommandBounded(waitMs, CREATE_NO_WINDOW, "%s", VBoxLineInFolder(CurrentFolder(), line).c_str());
}

}  // namespace

CvmxVBox::CvmxVBox(AdapterControl& adapters)
    : Cvmx(KindVBox),
      adapters(adapters),
      system(
          [this]() -> std::optional<std::array<uint8_t, 16>> {
              std::array<uint8_t, 16> uuid;
              if (ReadMachineUuid(uuid.data()) != 0) return std::nullopt;
              return uuid;
          },
          [this]() -> std::optional<std::array<uint8_t, 6>> {
              // The VMware file's address, so the appliance keeps its
              // identity under VirtualBox.
              if (ReadAdapterAddresses(KindPlayer) != 0) return std::nullopt;
              std::array<uint8_t, 6> mac;
              std::copy(std::begin(session.applianceMac), std::end(session.applianceMac), mac.begin());
              return mac;
          }) {
    // Every VirtualBox program started later keeps its settings and the
    // "Machines" folder here. A folder longer than the room for it is not
    // named at all rather than named wrong.
    char folder[MAX_PATH + 1] = {};
    DWORD length = GetCurrentDirectoryA(sizeof folder, folder);
    if (length > 0 && length < sizeof folder) SetEnvironmentVariableA("VBOX_USER_HOME", folder);
}

CvmxVBox::~CvmxVBox() {
    Release();
    Close();
}

int CvmxVBox::Open() {
    int rc = CheckInstall();
    if (rc == 0) RaiseStateTo(StateOpen);
    return rc;
}

int CvmxVBox::Close() {
    Release();
    LowerStateTo(StateLoaded);
    return 0;
}

int CvmxVBox::Prepare() {
    if (state < StateOpen) {
        if (int rc = Open()) return rc;
    }
    if (int rc = CheckInstall()) {
        Close();
        return rc;
    }
    state = StateStopped;
    if (Poll(1, 0) == StateStarting) Poll(0, 1);
    return 0;
}

int CvmxVBox::Release() {
    LowerStateTo(StateOpen);
    return 0;
}

int CvmxVBox::CheckInstall() {
    return setup.CheckInstall(system);
}

int CvmxVBox::Start(int show) {
    if (state < StateStopped) Prepare();
    if (state != StateStopped) return ERROR_NO_PROC_SLOTS;
    RunTool(kVBoxAdapterSwitchWaitMs, VBoxEnableAdapterCommand());
    std::string frontEnd = VBoxLineInFolder(CurrentFolder(), VBoxFrontEndCommand(show != 0));
    int rc = RunCommand(kNoWait, kFrontEndFlags, "%s", frontEnd.c_str());
    if (rc == 0) state = StateStarting;
    return rc;
}

int CvmxVBox::Stop() {
    CleanUpHostNetwork();
    if (state < StateStopped) Prepare();
    if (state > StateStopped) {
        if (RequestApplianceShutdown() == 0) Sleep(kShutdownGraceMs);
        RunTool(kVBoxPowerOffWaitMs, VBoxPowerOffCommand());
        state = StateStopped;
    }
    // Also when nothing ran: an earlier run may have left the adapter up.
    RunTool(kVBoxAdapterSwitchWaitMs, VBoxDisableAdapterCommand());
    return 0;
}

// The VM runs in the front end we started; it alone may serve the pipe.
void CvmxVBox::FindVmProcess() {
    std::optional<ProcessEntry> vm = FindOwnChild("VBoxHeadless.exe");
    if (!vm) vm = FindOwnChild("VBoxSDL.exe");
    session.vmProcessId = vm ? vm->pid : 0;
}

// The session step decides whether the VM runs, so a refresh runs one.
int CvmxVBox::Poll(int refresh, int converse) {
    FindVmProcess();
    if (refresh) {
        if (CheckInstall() != 0) Close();
        if (state < StateStopped) Prepare();
        if (state >= StateStopped) {
            SessionStep();
            converse = 0;
        }
    }
    if (state >= StateStarting && converse) SessionStep();
    return state;
}

int CvmxVBox::CheckLink() {
    if (Cvmx::CheckLink() == 0) return 0;
    RenewAdapterLease(adapters, true);
    return 1;
}

}  // namespace holv
