// The backend's side of the host routes towards the appliance's networks.
#include "backends/Cvmx.h"
#include "imc/ImcOperations.h"
#include "session/RouteSet.h"

namespace holv {
namespace {

constexpr uint16_t kGroupSystem = 0x200;
constexpr uint16_t kItemFirstRouteList = 0x2B8;

// The appliance's route lists, read over IMC.
class ImcRouteLists : public RouteListSource {
public:
    int ReadRouteList(const uint8_t mac[6], int index, char* buffer, int& length) override {
        return ImcGetString(mac, "", "", kGroupSystem, static_cast<uint16_t>(kItemFirstRouteList + index), length,
                            buffer);
    }
};

}  // namespace

RouteSet::RouteSet() : RouteSet(ActiveRouteSystem()) {}

void Cvmx::InstallRoutesAction() {
    ImcRouteLists lists;
    routes.InstallRoutes(applianceIp, applianceMac, this, lists);
}

void Cvmx::RemoveInstalledRoutes() {
    routes.RemoveAllRoutes();
}

std::vector<RouteEntry> Cvmx::GetRouteEntries() const {
    std::vector<RouteEntry> entries;
    entries.reserve(routes.Installed().size());
    for (const RoutePair& pair : routes.Installed()) entries.push_back({pair.destination, pair.mask});
    return entries;
}

}  // namespace holv
