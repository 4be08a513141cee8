// The host routes towards the networks behind the appliance: which ones this
// program installed and owns, how they follow the appliance's lists, and
// their removal. A route the system already had is never touched nor owned.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
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

// A route the system refused to create, with its reason, and when it is
// tried again.
struct RouteFailure {
    RoutePair pair;
    int error = 0;
    std::string errorText;
    uint64_t retryAtMs = 0;
    uint64_t intervalMs = 0;  // doubles with each refusal, up to a limit
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
    // The network may have changed under the program (a resume, a new
    // address): the next step reads the route table again.
    void ForgetTable() { tableHeld = false; }

    // Installed pairs, sorted; the broadcast pair stands for the applied
    // broadcast-route change.
    const std::vector<RoutePair>& Installed() const { return installed; }
    // Pairs the appliance asks for that the system refused, sorted.
    const std::vector<RouteFailure>& Failed() const { return failed; }

private:
    void UseGateway(uint32_t applianceIp);
    void Undo(const RoutePair& pair);
    // Reads the system's table into the copy; false when it cannot be read.
    bool ReadTable();
    // The copy, read again when the table may have changed; false when it
    // could not be read.
    bool RefreshTable(uint64_t now);
    bool StillInPlace(const RoutePair& pair);
    // 0 or the system's error.
    int Create(const RoutePair& pair);
    void NoteFailure(const RoutePair& pair, int error, uint64_t now);
    void ForgetFailure(const RoutePair& pair);
    const RouteFailure* FindFailure(const RoutePair& pair) const;
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
    std::vector<RouteFailure> failed;
    // Metric 1 of the appliance interface's broadcast route at the last
    // table read; 0 when the table had none.
    uint32_t currentBroadcastMetric = 0;
    bool mayRunCommands = false;
    // The system's table as last read: the pairs it holds, sorted, and those
    // of its rows that go through the appliance. Reading it is most of what
    // a step with routes costs, so it is read again only when the system
    // reported a change since, after a change of the program's own, when the
    // owner forgot it, or when the copy is a minute old.
    std::vector<RoutePair> tableExisting, tableOurs;
    bool tableHeld = false;
    uint32_t tableChanges = 0;
    uint64_t tableReadAtMs = 0;
};

}  // namespace holv
