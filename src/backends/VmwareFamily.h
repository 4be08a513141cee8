// What the VMware Player and Workstation backends share: the program found
// through the "VMware.Document" association, the VM found through the pid
// its log names, and the handles on processes that may belong to another
// user (a VM the service started).
#pragma once
#include <windows.h>

#include <string>

#include "backends/Cvmx.h"
#include "backends/VmwareCommand.h"
#include "base/Unique.h"

namespace holv {

// The operations the VMware desktop backends share: there is no connection
// to the hypervisor to open, and the VM becomes known by the first refresh.
class CvmxVmware : public virtual Cvmx {
public:
    int Open() override;     // state Open
    int Close() override;    // Release, then at most Loaded
    int Prepare() override;  // Open if needed, Stopped, a refresh, and a session step if that finds it starting
    int Poll(int refresh, int converse) override;
    int Stop() override;
    int Release() override;       // lets the VM's handles go; state at most Open
    int CheckInstall() override;  // the rule's program through the association, else 1060

protected:
    // The most derived backend constructs Cvmx.
    explicit CvmxVmware(const VmwareProgramRule& programRule) : rule(programRule) {}

    // Opens the VM's worker the log names (and whatever else the backend
    // holds of its VM); 1 when something of the VM is held afterwards.
    virtual int FindVmProcess() = 0;
    // A launcher that ended before its VM was found is no running VM.
    virtual void DropEndedLauncher() {}
    // True while the VM (or a launcher of it) still runs.
    virtual bool VmStillRunning();
    // Ends what is left of the VM once the appliance had its time to stop.
    virtual void EndVm();

    const VmwareProgramRule rule;
    std::string commandLine;
    std::string logPath;
    UniqueHandle vmProcess;
};

inline constexpr char kVmProcessExe[] = "vmware-vmx.exe";

// The command line that starts the rule's program on the configuration
// file; empty when the association is missing or does not fit the rule.
std::string ReadVmwareCommand(const VmwareProgramRule& rule, const std::string& configPath);

// The pid on the first line (at most 255 characters) of the VM's log; 0
// when the log cannot be read or names none.
DWORD ReadLogPid(const std::string& logPath);

// Opens a process with all access, else (with tryDebugPrivilege, after
// enabling the debug privilege) all access again, else for waiting only.
UniqueHandle OpenWithBestAccess(DWORD pid, bool tryDebugPrivilege);

// The VM process the log names, opened with the best access; none unless a
// process snapshot shows that pid running "vmware-vmx.exe". A pid is only a
// number in a file anyone may write: a stranger's process must never be
// adopted, and later terminated, as the VM.
UniqueHandle OpenVmProcess(DWORD pid);

// The parent of a process when it runs the executable `exe`; 0 otherwise.
DWORD ParentRunning(DWORD pid, const char* exe);

// Waits up to waitMs for the process to end; then terminates it (exit code
// 0) and waits up to 1000 ms more.
void EndProcess(HANDLE process, DWORD waitMs);

// True while the process has not ended; a SYNCHRONIZE-only handle will do.
bool IsStillRunning(HANDLE process);

}  // namespace holv
