// vmware-vmx.exe stand-in: the VM's worker process, without a window, in
// one of two roles.
// Under the player it does nothing but live as long as the player that
// started it; when the player is gone (even killed), the VM is off, so it
// switches the simulated appliance off too. Being terminated needs no
// cleanup: the player notices.
//   vmware-vmx.exe -parent PID [-power "PATH"] ["VMX"]
// Under the workstation it is the VM itself: it holds the VM's log with its
// own process id on the first line and switches the appliance on; the VM
// runs until the appliance switches itself off (the guest shut down) or the
// worker is terminated, which its workstation notices.
//   vmware-vmx.exe -log "LOG" [-power "PATH"] ["VMX"]
#include <windows.h>
// after windows.h, which it needs
#include <tlhelp32.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "CommandWords.h"
#include "StandIn.h"
#include "base/Unique.h"

using namespace holv;
using namespace holv::standin;

namespace {

constexpr DWORD kPollMs = 250;

// Looks pid up in the process list: true if it is there, with its parent's
// id. A list that cannot be had counts as "there": better keep running than
// switch the appliance off wrongly.
bool FindProcess(DWORD pid, DWORD* parent) {
    UniqueFile snap(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snap) return true;
    PROCESSENTRY32 entry{};
    entry.dwSize = sizeof entry;
    for (BOOL ok = Process32First(snap.get(), &entry); ok; ok = Process32Next(snap.get(), &entry)) {
        if (entry.th32ProcessID == pid) {
            if (parent) *parent = entry.th32ParentProcessID;
            return true;
        }
    }
    return false;
}

// Waits on the parent's handle; if it cannot be opened (rights, or it ended
// already), watches the process list instead.
void WaitForParent(DWORD parent) {
    UniqueHandle process(OpenProcess(SYNCHRONIZE, FALSE, parent));
    if (process) {
        WaitForSingleObject(process.get(), INFINITE);
        return;
    }
    Trace("vmx cannot open parent error=%lu: polling", GetLastError());
    while (FindProcess(parent, nullptr)) Sleep(kPollMs);
}

// The workstation's VM: runs while the appliance it switched on stays on.
// Without a power file there is no guest to shut down, so only termination
// ends it. The exit code is the system's error when the log cannot be had
// (32: another VM of this file runs).
int RunOwnVm(const std::string& logPath, const std::string& powerPath, const std::string& vmxPath) {
    const DWORD self = GetCurrentProcessId();
    Trace("vmx start pid=%lu log=%s", self, logPath.c_str());
    UniqueFile log = OpenVmLog(logPath);
    if (!log) {
        const DWORD err = GetLastError();
        Trace("vmx exit log busy error=%lu", err);
        return static_cast<int>(err);
    }
    WriteVmLog(log, FirstLogLine(self, "VMware Workstation stand-in"));
    WriteVmLog(log, "vmx| Config file: " + vmxPath + "\n");
    if (powerPath.empty()) {
        Sleep(INFINITE);
        return 0;
    }
    // Held, so that a terminated VM takes the appliance down with it.
    UniqueFile power = PowerOnWhileHeld(powerPath, self);
    if (!power) {
        Trace("vmx power on failed %s", powerPath.c_str());
        return 1;
    }
    Trace("vmx power on %s", powerPath.c_str());
    while (PathExists(powerPath)) Sleep(kPollMs);
    Trace("vmx guest off");
    Trace("vmx exit");
    return 0;
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    const std::vector<std::string> words = CommandWords(GetCommandLineA());
    DWORD parent = 0;
    std::string powerPath;
    std::string logPath;
    std::string vmxPath;
    for (size_t i = 1; i < words.size(); ++i) {
        if (words[i] == "-parent" && i + 1 < words.size())
            parent = std::strtoul(words[++i].c_str(), nullptr, 10);
        else if (words[i] == "-power" && i + 1 < words.size())
            powerPath = words[++i];
        else if (words[i] == "-log" && i + 1 < words.size())
            logPath = words[++i];
        else
            vmxPath = words[i];
    }
    if (!logPath.empty()) return RunOwnVm(logPath, powerPath, vmxPath);
    if (parent == 0) FindProcess(GetCurrentProcessId(), &parent);
    Trace("vmx start pid=%lu parent=%lu", GetCurrentProcessId(), parent);
    if (parent != 0) WaitForParent(parent);
    if (PowerOff(powerPath, parent)) Trace("vmx power off");
    Trace("vmx exit");
    return 0;
}
