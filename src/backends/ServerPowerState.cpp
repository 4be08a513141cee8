#include "backends/ServerPowerState.h"

namespace holv {
namespace {

// The power-state bits of the VIX interface.
enum PowerBit : int {
    PoweringOff = 0x1,
    PoweredOff = 0x2,
    PoweringOn = 0x4,
    PoweredOn = 0x8,
    Suspending = 0x10,
    Suspended = 0x20,
    ToolsRunning = 0x40,
    Resetting = 0x80,
};

}  // namespace

PowerVerdict ClassifyPowerState(int powerState) {
    switch (powerState) {
        case PoweredOn:
        case ToolsRunning: return PowerVerdict::Started;
        // Powering on counts as stopped: the VM cannot answer yet, and Start
        // must not be offered as if it were running.
        case PoweringOff:
        case PoweredOff:
        case PoweringOn:
        case Suspending:
        case Suspended:
        case Resetting: return PowerVerdict::Stopped;
        default: return PowerVerdict::AskAppliance;
    }
}

}  // namespace holv
