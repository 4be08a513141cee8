// The VM's state as the backends, the session and the display share it.
// Windows-free.
#pragma once

namespace holv {

// Ordered: code compares states as numbers ("at least Starting").
enum VmState : int {
    StateNone = 0,
    StateLoaded = 1,
    StateOpen = 2,
    StateStopped = 3,
    StateStarting = 4,
    StateRunning = 5,
};

// "Stopped", "Starting...", "Running"; "VMware service not ready" for every
// other value.
const char* StateName(int state);

}  // namespace holv
