// A running VM, as the front ends (VBoxHeadless, VBoxSDL) hold it and
// "VBoxManage controlvm NAME poweroff" ends it. The front end switches the
// simulated appliance on for as long as it runs.
#pragma once
#include <string>

#include "VBoxStandIn.h"

namespace holv::vbox {

// Runs the registered VM until it is powered off, the appliance switches
// itself off (its power file disappears: the guest shut down) or the process
// is killed (the power file goes with it). 0 after a power-off; 1 when the
// VM is not registered, already runs, or the appliance cannot be switched on.
int RunVm(const StandInSettings& settings, const std::string& vmName);

// Powers the VM off and waits (bounded) for its front end to end; with no
// front end, switches off an appliance left on. 1 when nothing runs.
int PowerOffVm(const StandInSettings& settings, const std::string& vmName);

}  // namespace holv::vbox
