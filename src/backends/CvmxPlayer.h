// VMware Player: the player runs as our child with the VM file as argument;
// its window is hidden, and a VM already running is recognised through the
// process id in the VM's log.
#pragma once
#include "backends/VmwareFamily.h"
#include "base/Unique.h"

namespace holv {

class CvmxPlayer : public CvmxVmware {
public:
    CvmxPlayer() : Cvmx(KindPlayer), CvmxVmware(kPlayerProgram) {}
    ~CvmxPlayer() override;

    int Release() override;
    int Start(int show) override;

private:
    int DeleteLog();
    int FindVmProcess() override;
    void DropEndedLauncher() override;
    bool VmStillRunning() override;
    void EndVm() override;
    void HideFrame();
    void CloseFrame();

    UniqueHandle playerProcess;
    UniqueHandle playerThread;
    DWORD playerPid = 0;
    DWORD playerTid = 0;
    DWORD vmPid = 0;
};

}  // namespace holv
