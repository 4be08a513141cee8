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
    int CheckInstall() override;

private:
    int FindVmProcess() override;

    std::string commandLine;
    std::string logPath;
};

}  // namespace holv
