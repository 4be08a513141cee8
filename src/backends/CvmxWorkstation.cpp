#include "backends/CvmxWorkstation.h"

#include "host/ProcessLaunch.h"

namespace holv {
namespace {

constexpr DWORD kShutdownGraceMs = 10000;
constexpr DWORD kVmExitWaitMs = 1000;

}  // namespace

CvmxWorkstation::~CvmxWorkstation() {
    Release();
    Close();
}

int CvmxWorkstation::Release() {
    vmProcess.reset();
    LowerStateTo(StateOpen);
    return 0;
}

int CvmxWorkstation::CheckInstall() {
    commandLine = ReadVmwareCommand(kWorkstationProgram, configPath);
    if (commandLine.empty()) return ERROR_SERVICE_DOES_NOT_EXIST;
    logPath = VmwareLogPath(configPath);
    return 0;
}

// Unlike the Player's, the log is not deleted first: nothing here started
// the process that holds it, and its pid is all there is to go by.
int CvmxWorkstation::FindVmProcess() {
    vmProcess.reset();
    DWORD pid = ReadLogPid(logPath);
    if (pid != 0) vmProcess = OpenVmProcess(pid);
    return vmProcess ? 1 : 0;
}

// The Workstation process is let go: it may outlive this program, and the VM
// it starts is found again through the log.
int CvmxWorkstation::Start(int show) {
    if (state < StateStopped) Prepare();
    if (state != StateStopped) return ERROR_NO_PROC_SLOTS;
    int rc = RunCommand(kNoWait, 0, "%s", commandLine.c_str());
    if (rc == 0) state = StateStarting;
    return rc;
}

int CvmxWorkstation::Poll(int refresh, int converse) {
    if (refresh) {
        if (state < StateStopped) Prepare();
        if (state >= StateStopped) {
            if (!vmProcess) {
                if (FindVmProcess())
                    RaiseStateTo(StateStarting);
                else
                    state = StateStopped;
            } else if (IsStillRunning(vmProcess.get())) {
                RaiseStateTo(StateStarting);
            } else {
                Release();
                Prepare();
            }
        }
        if (state < StateStarting) CleanUpHostNetwork();
    }
    if (state >= StateStarting && converse) SessionStep();
    return state;
}

int CvmxWorkstation::Stop() {
    CleanUpHostNetwork();
    if (state < StateStopped) Prepare();
    if (state < StateStarting || FindVmProcess() == 0) return 0;

    if (RequestApplianceShutdown() == 0) Sleep(kShutdownGraceMs);
    EndProcess(vmProcess.get(), kVmExitWaitMs);
    Release();
    Prepare();
    return 0;
}

}  // namespace holv
