#include "VmPower.h"

#include <windows.h>

#include "MachineFile.h"
#include "PowerFile.h"
#include "SmallFile.h"
#include "base/Unique.h"

namespace holv::vbox {
namespace {

constexpr DWORD kWatchMs = 250;
// Below the program's own 10 s wait for the power-off command.
constexpr DWORD kPowerOffWaitMs = 8000;

// Named after the VM: one front end per VM, found by name like VirtualBox's
// own session lock. The mutex is held while the VM runs; the event asks for
// the power-off.
std::string RunningName(const std::string& vmName) {
    return "HolvVBoxStandIn." + vmName + ".running";
}
std::string PowerOffName(const std::string& vmName) {
    return "HolvVBoxStandIn." + vmName + ".poweroff";
}

}  // namespace

int RunVm(const StandInSettings& settings, const std::string& vmName) {
    if (!MachineExists(vmName)) {
        PrintError("Could not find a registered machine named '" + vmName + "'\n");
        return 1;
    }
    UniqueHandle running(CreateMutexA(nullptr, TRUE, RunningName(vmName).c_str()));
    if (!running || GetLastError() == ERROR_ALREADY_EXISTS) {
        PrintError("The machine '" + vmName + "' is already running\n");
        return 1;
    }
    UniqueHandle powerOff(CreateEventA(nullptr, TRUE, FALSE, PowerOffName(vmName).c_str()));
    const std::string powerPath = PowerFileFor(settings, vmName);
    UniqueFile power;
    if (!powerPath.empty() && !(power = standin::PowerOnWhileHeld(powerPath, GetCurrentProcessId()))) {
        PrintError("Cannot switch the appliance on: " + powerPath + "\n");
        ReleaseMutex(running.get());
        return 1;
    }
    while (WaitForSingleObject(powerOff.get(), kWatchMs) == WAIT_TIMEOUT) {
        if (power && !standin::PathExists(powerPath)) break;
    }
    power.reset();
    ReleaseMutex(running.get());
    return 0;
}

int PowerOffVm(const StandInSettings& settings, const std::string& vmName) {
    UniqueHandle powerOff(OpenEventA(EVENT_MODIFY_STATE, FALSE, PowerOffName(vmName).c_str()));
    UniqueHandle running(OpenMutexA(SYNCHRONIZE, FALSE, RunningName(vmName).c_str()));
    if (powerOff && running) {
        SetEvent(powerOff.get());
        const DWORD r = WaitForSingleObject(running.get(), kPowerOffWaitMs);
        if (r == WAIT_OBJECT_0 || r == WAIT_ABANDONED) ReleaseMutex(running.get());
        return 0;
    }
    const std::string powerPath = PowerFileFor(settings, vmName);
    if (standin::PathExists(powerPath) && DeleteFileA(powerPath.c_str())) return 0;
    PrintError("Machine '" + vmName + "' is not currently running\n");
    return 1;
}

}  // namespace holv::vbox
