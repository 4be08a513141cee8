// The simulated appliance's power switch: a file whose existence means "the
// VM runs" (tools/appliance-sim answers only while it exists). Each stand-in
// hypervisor creates it when its VM starts and removes it when it stops.
#pragma once
#include <windows.h>

#include <string>

#include "base/Unique.h"

namespace holv::standin {

// HOLV_SIM_POWER_FILE; empty when unset.
std::string PowerFileFromEnvironment();
// The value of key in a VM file (key = "value", key compared ignoring case),
// empty when absent.
std::string ReadVmxKey(const std::string& vmxPath, const char* key);
// HOLV_SIM_POWER_FILE, else the VM file's "simulator.powerFile"; empty when
// neither names one.
std::string PowerFilePath(const std::string& vmxPath);

// Creates the power file naming its owner (a process id).
bool PowerOn(const std::string& path, DWORD owner);
// The same, but the file lives only as long as the returned handle: a VM
// process that is killed switches the appliance off with it.
UniqueFile PowerOnWhileHeld(const std::string& path, DWORD owner);
// Deletes the power file if the owner created it: a later start of the same
// VM made its own file, which an old process must not take away.
bool PowerOff(const std::string& path, DWORD owner);

}  // namespace holv::standin
