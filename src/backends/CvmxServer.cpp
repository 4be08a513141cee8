#include "backends/CvmxServer.h"

#include "backends/ServerPowerState.h"
#include "backends/ServerServices.h"

namespace holv {
namespace {

constexpr DWORD kShutdownGraceMs = 10000;

}  // namespace

CvmxServer::~CvmxServer() {
    Close();
}

int CvmxServer::CheckInstall() {
    return CheckServerServices();
}

int CvmxServer::Open() {
    if (int rc = CheckInstall()) return rc;
    const VixCalls* calls = LoadVixLibrary();
    if (!calls) return ERROR_CONNECTION_REFUSED;
    UniqueVixHandle host;
    UniqueVixHandle job(calls->hostConnect(kVixApiVersion, kVixServiceProviderServer, nullptr, 0, nullptr, nullptr, 0,
                                           kVixInvalidHandle, nullptr, nullptr));
    if (WaitForJob(*calls, std::move(job), kVixConnectWaitMs, &host) != 0 || !host) return ERROR_CONNECTION_REFUSED;
    vix = calls;
    hostHandle = std::move(host);
    state = StateOpen;
    return 0;
}

int CvmxServer::Close() {
    Release();
    if (hostHandle) {
        vix->hostDisconnect(hostHandle.get());
        hostHandle.reset();
    }
    LowerStateTo(StateLoaded);
    return 0;
}

int CvmxServer::Release() {
    vmHandle.reset();
    LowerStateTo(StateOpen);
    return 0;
}

VixError CvmxServer::RegisterVm() {
    UniqueVixHandle job(vix->hostRegisterVm(hostHandle.get(), configPath.c_str(), nullptr, nullptr));
    return WaitForJob(*vix, std::move(job), kVixOpenWaitMs);
}

VixError CvmxServer::OpenVm() {
    UniqueVixHandle job(vix->vmOpen(hostHandle.get(), configPath.c_str(), nullptr, nullptr));
    return WaitForJob(*vix, std::move(job), kVixOpenWaitMs, &vmHandle);
}

int CvmxServer::Prepare() {
    // A connection older than this call may have gone stale (the host
    // restarted under it): one failed registration on it earns one reconnect.
    bool olderConnection = state >= StateOpen;
    for (;;) {
        if (state < StateOpen) {
            if (int rc = Open()) return rc;
        }
        if (int rc = CheckInstall()) {
            Close();
            return rc;
        }
        if (RegisterVm() == 0) break;
        if (!olderConnection) return ERROR_OPEN_FAILED;
        olderConnection = false;
        Close();
    }
    if (OpenVm() != 0 || !vmHandle) return ERROR_OPEN_FAILED;
    state = StateStopped;
    if (Poll(1, 0) == StateStarting) Poll(0, 1);
    return 0;
}

int CvmxServer::Start(int show) {
    if (state < StateStopped) Prepare();
    if (state < StateStopped) return 1;
    UniqueVixHandle job(vix->vmPowerOn(vmHandle.get(), kVixPowerOpNormal, kVixInvalidHandle, nullptr, nullptr));
    VixError error = WaitForJob(*vix, std::move(job), kVixPowerOnWaitMs);
    // Whatever the outcome: the next refresh corrects it from the power state.
    state = StateStarting;
    if (error == kVixJobTimedOut) return ERROR_NO_PROC_SLOTS;
    return VixErrorCode(error);
}

int CvmxServer::Stop() {
    CleanUpHostNetwork();
    if (state < StateStopped) Prepare();
    if (state < StateStarting) return 1;
    if (RequestApplianceShutdown() == 0) Sleep(kShutdownGraceMs);
    UniqueVixHandle job(vix->vmPowerOff(vmHandle.get(), kVixPowerOpNormal, nullptr, nullptr));
    VixError error = WaitForJob(*vix, std::move(job), kVixPowerOffWaitMs);
    state = StateStopped;
    if (error == kVixJobTimedOut) return ERROR_TIMEOUT;
    return VixErrorCode(error);
}

bool CvmxServer::FollowPowerState() {
    int power = 0;
    if (vix->getProperties(vmHandle.get(), kVixPropertyVmPowerState, &power, kVixPropertyNone) != 0) {
        Release();
        return true;
    }
    switch (ClassifyPowerState(power)) {
        case PowerVerdict::Stopped: state = StateStopped; return true;
        case PowerVerdict::Started: RaiseStateTo(StateStarting); return true;
        case PowerVerdict::AskAppliance: break;
    }
    SessionStep();
    return false;
}

int CvmxServer::Poll(int refresh, int converse) {
    if (refresh) {
        if (CheckInstall() != 0) Close();  // a service stopped under us
        if (state < StateStopped) Prepare();
        if (state >= StateStopped && !FollowPowerState()) converse = 0;
        // Routes and DNS suffixes must not outlive a running appliance.
        if (state < StateStarting) CleanUpHostNetwork();
    }
    if (state >= StateStarting && converse) SessionStep();
    return state;
}

}  // namespace holv
