// The host routes towards the networks behind the appliance: which ones this
// program installed and owns, how they follow the appliance's lists, and
// their removal. A route the system already had is never touched nor owned.
#pragma once
#include <cstdint>
#include <memory>
#include <vector>

#include "session/RouteJournal.h"
#include "session/RouteList.h"
#include "session/RouteSystem.h"

namespace holv {

// Where the appliance's two route lists come from.
class RouteListSource {
public:
    virtual ~RouteListSource() = default;
    // Reads list `index` (0 or 1) of the appliance `mac` into `buffer`;
    // `length` holds its capacity on entry and the bytes stored on return.
    // 0 on success, else the request failed and nothing may change.
    virtual int ReadRouteList(const uint8_t mac[6], int index, char* buffer, int& length) = 0;
};

class RouteSet {
public:
    // With a record, every route is noted there before it is created and
    // forgotten once it is deleted.
    explicit RouteSet(RouteSystem& system, RouteRecord* record = nullptr);
    // Removes every route still installed.
    ~RouteSet();
    RouteSet(const RouteSet&) = delete;
    RouteSet& operator=(const RouteSet&) = delete;

    // After every successful contact: brings the installed routes in line
    // with the appliance's lists. Without mayRunCommands the older systems'
    // broadcast command is not run (a route set without a backend behind it).
    void InstallRoutes(uint32_t applianceIp, const uint8_t mac[6], bool mayRunCommands, RouteListSource& source);
    // Lost contact, every Stop, a VM found not running, destruction.
    void RemoveAllRoutes();

    // Installed pairs, sorted; the broadcast pair stands for the applied
    // broadcast-route change.
    const std::vector<RoutePair>& Installed() const { return installed; }

private:
    void UseGateway(uint32_t applianceIp);
    void Undo(const RoutePair& pair);
    // The pairs the system's table already has, sorted; false when the
    // table cannot be read.
    bool CollectExistingRoutes(std::vector<RoutePair>& existing);
    bool Create(const RoutePair& pair);
    void SetMetrics();
    int ApplyBroadcastRoute();
    void RestoreBroadcastRoute();
    void FlushResolverCache();

    RouteSystem& system;
    RouteRecord* record;
    std::unique_ptr<ResolverFlush> resolverFlush;
    ForwardRow routeTemplate;
    ForwardRow broadcastRow;
    uint32_t savedBroadcastMetric = 0;
    uint32_t localAddress = 0;
    uint8_t applianceMac[6] = {};
    std::vector<RoutePair> installed;
    bool mayRunCommands = false;
};

}  // namespace holv
