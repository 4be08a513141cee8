#include "backends/HostJournalUndo.h"

#include "backends/CDriverSign.h"
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
    for (auto undo : kSectionUndo) undo();
}

}  // namespace holv
