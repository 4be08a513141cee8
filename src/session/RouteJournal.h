// The routes section of the host-change journal: every route the route set
// creates is noted (destination, mask, gateway, interface, and the process
// that made it) before it is created and erased once it is deleted. A run
// that ends without deleting its routes leaves their notes, and the next
// start deletes the routes they name, but only those the table still holds
// exactly as noted: a route with the same destination through another
// gateway is someone else's.
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
};

// A noted route: the four fields that identify it in the table.
struct RecordedRoute {
    uint32_t destination = 0;  // network order, like the three below
    uint32_t mask = 0;
    uint32_t gateway = 0;
    uint32_t ifIndex = 0;
    uint32_t processId = 0;  // the run that created it
};

// Entry name: "10.1.0.0 255.255.0.0 192.168.56.2 7", one per route.
std::string RouteEntryName(const ForwardRow& row);
// Entry value: the name's text, a blank and the process id.
std::string RouteEntryValue(const ForwardRow& row, uint32_t processId);
// Exactly the form RouteEntryValue writes, else none.
std::optional<RecordedRoute> ParseRouteEntry(const std::string& value);

// What to do with the routes section at start-up.
struct RouteUndoPlan {
    std::vector<ForwardRow> deletions;  // table rows exactly as noted
    std::vector<std::string> deleted;   // their entries, erased once deleted
    std::vector<std::string> dropped;   // malformed or no longer in the table
};

// Entries of a run that still runs (by `stillRunning` of the process id)
// are left alone; every other entry either deletes its route or is dropped.
RouteUndoPlan PlanRouteUndo(const std::vector<JournalEntry>& entries, const std::vector<ForwardRow>& table,
                            const std::function<bool(uint32_t)>& stillRunning);

// Windows build: the journal as the route set's record, and the start-up
// undo of what an earlier run left, through `system` (the table is read
// once; when it cannot be read, nothing changes).
RouteRecord& JournalRouteRecord();
void UndoJournalRoutes(RouteSystem& system);

}  // namespace holv
