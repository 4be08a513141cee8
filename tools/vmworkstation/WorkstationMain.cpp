// vmware.exe stand-in: the workstation as its file association starts it,
//   vmware.exe [-x] [-q] [-xq] "C:\path\X.vmx"
// With -x it powers the VM on: it starts the VM's worker vmware-vmx.exe from
// its own folder, which holds the VM's log with its own process id and
// switches the simulated appliance on. The workstation then only waits for
// the VM to end (the guest shut down, or the worker was terminated), makes
// sure the appliance is off and ends with the worker's exit code, as -q asks;
// it ends so without -q too, since it has no window to stay open in.
// Without -x there is nothing to run: it ends at once with 0.
#include <windows.h>

#include <string>

#include "StandIn.h"
#include "base/Unique.h"

using namespace holv;
using namespace holv::standin;

namespace {

constexpr int kBadArguments = ERROR_INVALID_PARAMETER;

struct Worker {
    UniqueHandle process;
    DWORD pid = 0;
};

Worker StartWorker(const std::string& vmxPath, const std::string& powerPath) {
    const std::string exe = ModuleFolder() + kWorkerName;
    std::string command = "\"" + exe + "\" -log \"" + FolderOf(vmxPath) + "vmware.log\"";
    if (!powerPath.empty()) command += " -power \"" + powerPath + "\"";
    command += " \"" + vmxPath + "\"";
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    if (!CreateProcessA(exe.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info)) {
        Trace("worker failed error=%lu", GetLastError());
        return {};
    }
    CloseHandle(info.hThread);
    Worker worker;
    worker.process.reset(info.hProcess);
    worker.pid = info.dwProcessId;
    return worker;
}

// Asks for power on: -x alone or within a group of one-letter options such
// as -xq. The options come blank-separated, each starting with '-'.
bool AsksPowerOn(const std::string& options) {
    size_t start = 0;
    while (start < options.size()) {
        size_t end = options.find(' ', start);
        if (end == std::string::npos) end = options.size();
        const std::string word = options.substr(start, end - start);
        if (word.size() > 1 && word[1] != '-' && word.find('x', 1) != std::string::npos) return true;
        start = end + 1;
    }
    return false;
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    std::string options;
    const std::string vmxPath = VmxPathFromCommandLine(GetCommandLineA(), &options);
    Trace("workstation start pid=%lu options=%s vmx=%s", GetCurrentProcessId(), options.c_str(), vmxPath.c_str());
    if (vmxPath.empty()) {
        Trace("workstation exit no vm file");
        return kBadArguments;
    }
    if (!AsksPowerOn(options)) {
        Trace("workstation exit not powering on");
        return 0;
    }
    const std::string powerPath = PowerFilePath(vmxPath);
    Worker worker = StartWorker(vmxPath, powerPath);
    if (!worker.process) return ERROR_FILE_NOT_FOUND;
    Trace("workstation worker pid=%lu", worker.pid);
    WaitForSingleObject(worker.process.get(), INFINITE);
    DWORD code = 0;
    GetExitCodeProcess(worker.process.get(), &code);
    // The worker's own held file goes with it; this is for a worker that
    // could not hold it. Only a file of this worker's is taken away.
    if (PowerOff(powerPath, worker.pid)) Trace("workstation power off");
    Trace("workstation exit code=%lu", code);
    return static_cast<int>(code);
}
