// The texts and menu states the status display shows, from a snapshot of the
// backend: pure, so every row of the state table is tested natively.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "session/RouteList.h"
#include "session/RouteSet.h"

namespace holv {

struct StatusSnapshot {
    int state = 0;
    std::string productName;
    std::string hostName;
    std::string firmware;
    std::string serialNo;
    std::string ipText;
    const char* trellisport = nullptr;  // only while Running and non-empty
    const char* rkConnection = nullptr;
    std::vector<RoutePair> routes;
    std::vector<RouteFailure> failedRoutes;  // listed only when there are any
};

// Leading one bits of a mask (network order); -1 when it is not contiguous.
int PrefixLength(uint32_t maskNetworkOrder);

// The "Status" box's text, cut to cap - 1 characters.
std::string BuildStatusTextFrom(const StatusSnapshot& s, size_t cap = 4096);

// "<product or Holvenstead>: <state>" and, while Running, a second line with
// the remote-access connection.
std::string BuildTooltipText(const StatusSnapshot& s);

struct MenuState {
    int icon;  // group icon resource
    bool startEnabled, stopEnabled, browseEnabled;
    int defaultCommand;  // a Command
    unsigned sessionPeriodMs;
};

// The row of the state table for this state.
MenuState MenuStateFor(const StatusSnapshot& s);

}  // namespace holv
