// The routes section of the host-change journal: every route the route set
// creates is noted (destination, mask, gateway, interface, and the process
// that made it) before it is created and erased once it is deleted. A run
// that ends without deleting its routes leaves their notes, and the next
// start deletes the routes they name, but only those the table still holds
// exactly as noted: a route with the same destination through another
// gateway is someone else's. The broadcast route's metric, which the set
// changes rather than creates, is noted the same way with the metric it had,
// and put back.
#pragma once
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "session/HostJournal.h"
#include "session/RouteSystem.h"

namespace holv {

inline constexpr char kRouteJournalSection[] = "Routes";

// Where the route set notes its routes.
class RouteRecord {
public:
    virtual ~RouteRecord() = default;
    // Before the route is created; not 0 when it could not be noted, and
    // then the route is not created.
    virtual int Note(const ForwardRow& row) = 0;
    // After the route is gone.
    virtual void Forget(const ForwardRow& row) = 0;
    // Before the broadcast route `row` gets another metric: the one it has
    // (`before`); not 0 when it could not be noted, and then it keeps it.
    virtual int NoteMetric(const ForwardRow& row, uint32_t before) = 0;
    // After it has its metric back.
    virtual void ForgetMetric(const ForwardRow& row) = 0;
};

// A noted route: the four fields that identify it in the table.
struct RecordedRoute {
    uint32_t destination = 0;  // network order, like the three below
    uint32_t mask = 0;
    uint32_t gateway = 0;
    uint32_t ifIndex = 0;
    JournalOwner owner;  // the run that created it
};

// Entry name: "10.1.0.0 255.255.0.0 192.168.56.2 7", one per route.
std::string RouteEntryName(const ForwardRow& row);
// Entry value: the name's text, a blank and the owner.
std::string RouteEntryValue(const ForwardRow& row, const JournalOwner& owner);
// Exactly the form RouteEntryValue writes (or wrote with the process id
// alone), else none.
std::optional<RecordedRoute> ParseRouteEntry(const std::string& value);

// The broadcast route's metric: name "broadcast metric 7" (its interface),
// value "7 276 <owner>" (the interface, the metric it had, the owner).
std::string MetricEntryName(const ForwardRow& row);
std::string MetricEntryValue(const ForwardRow& row, uint32_t before, const JournalOwner& owner);

// What to do with the routes section at start-up.
struct RouteUndoPlan {
    std::vector<ForwardRow> deletions;  // table rows exactly as noted
    std::vector<std::string> deleted;   // their entries, erased once deleted
    std::vector<ForwardRow> resets;     // broadcast rows with the noted metric
    std::vector<std::string> reset;     // their entries, erased once set
    std::vector<std::string> dropped;   // malformed or no longer in the table
};

// Entries of a run that still runs (by `stillRunning` of the owner) are left
// alone; every other entry either deletes its route, puts its metric back or
// is dropped.
RouteUndoPlan PlanRouteUndo(const std::vector<JournalEntry>& entries, const std::vector<ForwardRow>& table,
                            const std::function<bool(const JournalOwner&)>& stillRunning);

// Windows build: the journal as the route set's record, and the start-up
// undo of what an earlier run left, through `system` (the table is read
// once; when it cannot be read, nothing changes).
RouteRecord& JournalRouteRecord();
void UndoJournalRoutes(RouteSystem& system);

}  // namespace holv
