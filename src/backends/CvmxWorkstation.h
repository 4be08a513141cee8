// VMware Workstation: started on the VM file with "-xq" and let go; the VM is
// recognised through the pid in its log, and stopped by asking the appliance
// and, failing that, ending the VM's worker process.
#pragma once
#include "backends/VmwareFamily.h"
#include "base/Unique.h"

namespace holv {

class CvmxWorkstation : public CvmxVmware {
public:
    CvmxWorkstation() : Cvmx(KindWorkstation) {}
    ~CvmxWorkstation() override;

    int Release() override;
    int Start(int show) override;
    int Stop() override;
    int Poll(int refresh, int converse) override;
    int CheckInstall() override;

private:
    // Opens the VM's worker the log names; 1 when it is held afterwards.
    int FindVmProcess();

    std::string commandLine;
    std::string logPath;
    UniqueHandle vmProcess;
};

}  // namespace holv
