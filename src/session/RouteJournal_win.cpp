// The routes section on Windows: the registry journal as the route set's
// record, and the start-up undo over the route system.
// clang-format off
#include <winsock2.h>  // before windows.h, which the owners bring in
#include <windows.h>
// clang-format on

#include "base/Unique.h"
#include "session/RouteJournal.h"

namespace holv {
namespace {

class JournalRecord : public RouteRecord {
public:
    int Note(const ForwardRow& row) override {
        return JournalWrite(kRouteJournalSection, RouteEntryName(row).c_str(),
                            RouteEntryValue(row, GetCurrentProcessId()));
    }
    void Forget(const ForwardRow& row) override { JournalErase(kRouteJournalSection, RouteEntryName(row).c_str()); }
};

// Another instance (serving another VM file) may be running with routes of
// its own in the journal: they are its to remove. A process that cannot be
// opened for another reason than not being there counts as running. This
// process has noted nothing yet when the undo runs, so an entry with its id
// is an earlier run's whose id came round again.
bool StillRunning(uint32_t processId) {
    if (processId == GetCurrentProcessId()) return false;
    UniqueHandle process(OpenProcess(SYNCHRONIZE, FALSE, processId));
    if (!process) return GetLastError() != ERROR_INVALID_PARAMETER;
    return WaitForSingleObject(process.get(), 0) == WAIT_TIMEOUT;
}

}  // namespace

RouteRecord& JournalRouteRecord() {
    static JournalRecord record;
    return record;
}

void UndoJournalRoutes(RouteSystem& system) {
    std::vector<JournalEntry> entries = JournalRead(kRouteJournalSection);
    if (entries.empty()) return;
    std::vector<ForwardRow> table;
    // Without the table nothing shows which notes still hold: keep them all.
    if (system.GetForwardTable(table) != 0) return;
    RouteUndoPlan plan = PlanRouteUndo(entries, table, StillRunning);
    for (size_t i = 0; i < plan.deletions.size(); ++i) {
        int rc = system.DeleteForwardEntry(plan.deletions[i]);
        // A route that will not go stays noted for the next try.
        if (rc == 0 || rc == ERROR_NOT_FOUND) JournalErase(kRouteJournalSection, plan.deleted[i].c_str());
    }
    for (const std::string& name : plan.dropped) JournalErase(kRouteJournalSection, name.c_str());
    // Names resolved through the routes that went may be cached.
    if (!plan.deletions.empty()) {
        if (auto flush = system.OpenResolverFlush()) flush->Flush();
    }
}

}  // namespace holv
