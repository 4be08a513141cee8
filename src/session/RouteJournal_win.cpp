// The routes section on Windows: the registry journal as the route set's
// record, and the start-up undo over the route system.
// clang-format off
#include <winsock2.h>  // before windows.h, which the owners bring in
#include <windows.h>
// clang-format on

#include "session/RouteJournal.h"

namespace holv {
namespace {

class JournalRecord : public RouteRecord {
public:
    int Note(const ForwardRow& row) override {
        return JournalWrite(kRouteJournalSection, RouteEntryName(row).c_str(),
                            RouteEntryValue(row, CurrentJournalOwner()));
    }
    void Forget(const ForwardRow& row) override { JournalErase(kRouteJournalSection, RouteEntryName(row).c_str()); }
    int NoteMetric(const ForwardRow& row, uint32_t before) override {
        return JournalWrite(kRouteJournalSection, MetricEntryName(row).c_str(),
                            MetricEntryValue(row, before, CurrentJournalOwner()));
    }
    void ForgetMetric(const ForwardRow& row) override {
        JournalErase(kRouteJournalSection, MetricEntryName(row).c_str());
    }
};

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
    // Another instance (serving another VM file) may be running with routes
    // of its own in the journal: they are its to remove.
    RouteUndoPlan plan = PlanRouteUndo(entries, table, OwnerRunning);
    for (size_t i = 0; i < plan.deletions.size(); ++i) {
        int rc = system.DeleteForwardEntry(plan.deletions[i]);
        // A route that will not go stays noted for the next try.
        if (rc == 0 || rc == ERROR_NOT_FOUND)
            JournalErase(kRouteJournalSection, plan.deleted[i].c_str());
        else
            system.ReportFailure(true, "removing", plan.deletions[i], rc);
    }
    for (size_t i = 0; i < plan.resets.size(); ++i) {
        if (int rc = system.SetForwardEntry(plan.resets[i]))
            system.ReportFailure(true, "setting back the metric of", plan.resets[i], rc);
        else
            JournalErase(kRouteJournalSection, plan.reset[i].c_str());
    }
    for (const std::string& name : plan.dropped) JournalErase(kRouteJournalSection, name.c_str());
    // Names resolved through the routes that went may be cached.
    if (!plan.deletions.empty()) {
        if (auto flush = system.OpenResolverFlush()) flush->Flush();
    }
}

}  // namespace holv
