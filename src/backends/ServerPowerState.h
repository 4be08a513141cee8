// What the VM's power state, as VMware Server reports it, says about the VM.
#pragma once

namespace holv {

enum class PowerVerdict {
    Stopped,      // off, on its way there, suspended, resetting, not yet on
    Started,      // on (or its tools run): at least "starting"
    AskAppliance  // a combination of bits or an unknown value: the session decides
};

// Judged by the exact value: only a single known bit is trusted, since a
// value carrying several (on with tools running, blocked on a message) says
// nothing firm about whether the appliance can answer.
PowerVerdict ClassifyPowerState(int powerState);

}  // namespace holv
