#include "backends/CvmxWorkstation.h"

#include "host/ProcessLaunch.h"

namespace holv {

CvmxWorkstation::~CvmxWorkstation() {
    Release();
    Close();
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

}  // namespace holv
