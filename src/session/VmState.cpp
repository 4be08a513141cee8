#include "session/VmState.h"

namespace holv {

const char* StateName(int state) {
    switch (state) {
        case StateStopped: return "Stopped";
        case StateStarting: return "Starting...";
        case StateRunning: return "Running";
        default: return "VMware service not ready";
    }
}

}  // namespace holv
