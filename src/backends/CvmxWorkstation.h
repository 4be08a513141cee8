// VMware Workstation: started on the VM file with "-xq" and let go; the VM is
// recognised through the pid in its log, and stopped by asking the appliance
// and, failing that, ending the VM's worker process.
#pragma once
#include "backends/VmwareFamily.h"
#include "base/Unique.h"

namespace holv {

class CvmxWorkstation : public CvmxVmware {
public:
    CvmxWorkstation() : Cvmx(KindWorkstation), CvmxVmware(kWorkstationProgram) {}
    ~CvmxWorkstation() override;

    int Start(int show) override;

private:
    int FindVmProcess() override;
};

}  // namespace holv
