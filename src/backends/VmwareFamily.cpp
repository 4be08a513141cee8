#include "backends/VmwareFamily.h"

#include <cstdio>

#include "backends/Privilege.h"
#include "base/FilePtr.h"
#include "host/ProcessList.h"
#include "session/Association.h"

namespace holv {

int CvmxVmware::Open() {
    state = StateOpen;
    return 0;
}

int CvmxVmware::Close() {
    Release();
    LowerStateTo(StateLoaded);
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
