// The backend's side of the host routes towards the appliance's networks.
#include "backends/Cvmx.h"

namespace holv {

// Host routes are not built yet: nothing is installed, so nothing to undo.
void Cvmx::InstallRoutesAction() {}
void Cvmx::RemoveInstalledRoutes() {}
std::vector<RouteEntry> Cvmx::GetRouteEntries() const { return {}; }

}  // namespace holv
