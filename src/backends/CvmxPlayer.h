// VMware Player: the player runs as our child with the VM file as argument;
// its window is hidden, and a VM already running is recognised through the
// process id in the VM's log.
#pragma once
#include "backends/VmwareFamily.h"
#include "base/Unique.h"

namespace holv {

class CvmxPlayer : public CvmxVmware {
public:
    CvmxPlayer() : Cvmx(KindPlayer) {}
    ~CvmxPlayer() override;

    int Release() override;
    int Start(int show) override;
    int Stop() override;
    int Poll(int refresh, int converse) override;
    int CheckInstall() override;

    const std::string& GetCommandLine() const { return commandLine; }
    const std::string& GetLogPath() const { return logPath; }

private:
    int DeleteLog();
    int FindVmProcess();
    void HideFrame();
    void CloseFrame();

    std::string commandLine;
    std::string logPath;
    UniqueHandle playerProcess;
    UniqueHandle playerThread;
    DWORD playerPid = 0;
    DWORD playerTid = 0;
    UniqueHandle vmProcess;
    DWORD vmPid = 0;
};

}  // namespace holv
