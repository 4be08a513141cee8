// VMware Server: the VM is registered, opened, powered on and off through the
// VIX library, and judged by its power state. The one backend kept while its
// hypervisor is not ready: with the services stopped it stays below
// "stopped" ("VMware service not ready") until they run.
#pragma once
#include "backends/Cvmx.h"
#include "backends/VixLibrary.h"

namespace holv {

class CvmxServer : public virtual Cvmx {
public:
    CvmxServer() : Cvmx(KindServer) {}
    ~CvmxServer() override;

    int Open() override;
    int Close() override;
    int Prepare() override;
    int Release() override;
    int Start(int show) override;
    int Stop() override;
    int Poll(int refresh, int converse) override;
    int CheckInstall() override;

private:
    // Registers the VM with the host and opens it; 0, or the VIX failure.
    VixError RegisterVm();
    VixError OpenVm();
    // Reads the VM's power state and moves the state by it; false when the
    // state cannot be read and the session alone must decide.
    bool FollowPowerState();

    const VixCalls* vix = nullptr;  // set while connected
    UniqueVixHandle hostHandle;
    UniqueVixHandle vmHandle;
};

}  // namespace holv
