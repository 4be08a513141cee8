// VirtualBox kept beside the VM: driven through its VBoxManage tool and its
// two front ends, all started from the VM's folder, which is also
// VirtualBox's settings folder. Whether the VM runs is not asked of
// VirtualBox: it follows from whether the appliance answers.
#pragma once
#include "backends/Cvmx.h"
#include "backends/VBoxSetup.h"
#include "backends/VBoxSystemSetup.h"
#include "session/HostAdapter.h"

namespace holv {

class CvmxVBox : public virtual Cvmx {
public:
    // adapters: whose leases CheckLink releases and renews (tests record them).
    explicit CvmxVBox(AdapterControl& adapters = SystemAdapterControl());
    ~CvmxVBox() override;

    int Open() override;
    int Close() override;
    int Prepare() override;
    int Release() override;
    int Start(int show) override;
    int Stop() override;
    int Poll(int refresh, int converse) override;
    // The first-time setup: 1060 without "VBoxManage.exe" in the folder.
    int CheckInstall() override;
    // When no host address lies in the appliance's subnet, the host adapter
    // may have lost its lease: it is released and renewed (the link still
    // counts as missing for this step).
    int CheckLink() override;

    int GetSetupLevel() const { return setup.Level(); }

private:
    void FindVmProcess();

    AdapterControl& adapters;
    VBoxSetup setup;
    VBoxSystemSetup system;
};

}  // namespace holv
