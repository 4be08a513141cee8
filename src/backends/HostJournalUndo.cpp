#include "backends/HostJournalUndo.h"

#include "backends/CDriverSign.h"
#include "base/EventLog.h"
#include "base/Text.h"
#include "session/HostJournal.h"
#include "session/RouteJournal.h"
#include "session/RouteSystem.h"
#include "session/SearchList.h"

namespace holv {
namespace {

void UndoRoutes() {
    UndoJournalRoutes(ActiveRouteSystem());
}
void UndoSearchList() {
    UndoJournalSearchList();
}

// One entry per journal section; its owner knows how to undo it.
constexpr void (*kSectionUndo[])() = {
    UndoRoutes,
    UndoSearchList,
    RestoreDriverSigningFromJournal,
};

}  // namespace

void UndoHostJournal() {
    size_t before = JournalCount();
    for (auto undo : kSectionUndo) undo();
    // What could not be undone has said so itself; what was, is told once.
    size_t after = JournalCount();
    if (after >= before) return;
    char detail[80];
    FormatText(detail, sizeof detail, "%lu of %lu journal entries", static_cast<unsigned long>(before - after),
               static_cast<unsigned long>(before));
    ReportHolvEvent(HolvEvent::JournalUndone, detail);
}

}  // namespace holv
