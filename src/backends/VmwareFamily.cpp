#include "backends/VmwareFamily.h"

#include <cstdio>

#include "backends/Privilege.h"
#include "base/FilePtr.h"
#include "host/ProcessList.h"
#include "session/Association.h"

namespace holv {
namespace {

// How long the appliance has to shut itself down before its VM is ended.
constexpr DWORD kShutdownGraceMs = 10000;
constexpr DWORD kVmExitWaitMs = 1000;

}  // namespace

int CvmxVmware::Open() {
    state = StateOpen;
    return 0;
}

int CvmxVmware::Close() {
    Release();
    LowerStateTo(StateLoaded);
    return 0;
}

int CvmxVmware::Release() {
    vmProcess.reset();
    LowerStateTo(StateOpen);
    return 0;
}

int CvmxVmware::CheckInstall() {
    commandLine = ReadVmwareCommand(rule, configPath);
    if (commandLine.empty()) return ERROR_SERVICE_DOES_NOT_EXIST;
    logPath = VmwareLogPath(configPath);
    return 0;
}

int CvmxVmware::Prepare() {
    if (state < StateOpen) {
        if (int rc = Open()) return rc;
    }
    state = StateStopped;
    if (Poll(1, 0) == StateStarting) Poll(0, 1);
    return 0;
}

// A refresh climbs to Stopped and looks for the VM; the session runs only
// while the VM is at least starting, and routes and suffixes go with it.
int CvmxVmware::Poll(int refresh, int converse) {
    if (refresh) {
        if (state < StateStopped) Prepare();
        if (state >= StateStopped) {
            if (!vmProcess) {
                DropEndedLauncher();
                if (FindVmProcess())
                    RaiseStateTo(StateStarting);
                else
                    state = StateStopped;
            } else if (VmStillRunning()) {
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

// The appliance is asked first and given its time; what still runs of the
// VM after that is ended.
int CvmxVmware::Stop() {
    CleanUpHostNetwork();
    if (state < StateStopped) Prepare();
    if (state < StateStarting || FindVmProcess() == 0) return 0;

    if (RequestApplianceShutdown() == 0) Sleep(kShutdownGraceMs);
    EndVm();
    Release();
    Prepare();
    return 0;
}

bool CvmxVmware::VmStillRunning() {
    return IsStillRunning(vmProcess.get());
}

void CvmxVmware::EndVm() {
    if (vmProcess) EndProcess(vmProcess.get(), kVmExitWaitMs);
}

std::string ReadVmwareCommand(const VmwareProgramRule& rule, const std::string& configPath) {
    auto association = ReadPlayerAssociation();
    if (!association) return {};
    return VmwareCommandFromAssociation(*association, configPath, rule);
}

DWORD ReadLogPid(const std::string& logPath) {
    char line[256] = {};
    FilePtr log(std::fopen(logPath.c_str(), "r"));
    if (!log || !std::fgets(line, sizeof line, log.get())) return 0;
    return PidFromLogLine(line);
}

UniqueHandle OpenWithBestAccess(DWORD pid, bool tryDebugPrivilege) {
    if (HANDLE h = OpenProcess(PROCESS_ALL_ACCESS, FALSE, pid)) return UniqueHandle(h);
    if (tryDebugPrivilege) {
        EnableDebugPrivilege();
        if (HANDLE h = OpenProcess(PROCESS_ALL_ACCESS, FALSE, pid)) return UniqueHandle(h);
    }
    return UniqueHandle(OpenProcess(SYNCHRONIZE, FALSE, pid));
}

UniqueHandle OpenVmProcess(DWORD pid) {
    auto entry = FindProcessEntry(pid);
    if (!entry || !ProcessRunsExe(*entry, kVmProcessExe)) return UniqueHandle();
    UniqueHandle process = OpenWithBestAccess(pid, true);
    // Looked at again once the handle is held: the VM may have ended between
    // the first look and the open, and its pid gone to another process. A
    // held handle keeps the pid from being reused, so this look is the one
    // that counts.
    entry = FindProcessEntry(pid);
    if (!process || !entry || !ProcessRunsExe(*entry, kVmProcessExe)) return UniqueHandle();
    return process;
}

DWORD ParentRunning(DWORD pid, const char* exe) {
    auto entry = FindProcessEntry(pid);
    if (!entry || !entry->parentPid) return 0;
    auto parent = FindProcessEntry(entry->parentPid);
    return parent && ProcessRunsExe(*parent, exe) ? parent->pid : 0;
}

void EndProcess(HANDLE process, DWORD waitMs) {
    constexpr DWORD kAfterTerminateWaitMs = 1000;
    if (WaitForSingleObject(process, waitMs) != WAIT_TIMEOUT) return;
    TerminateProcess(process, 0);
    WaitForSingleObject(process, kAfterTerminateWaitMs);
}

bool IsStillRunning(HANDLE process) {
    return process && WaitForSingleObject(process, 0) == WAIT_TIMEOUT;
}

}  // namespace holv
