// Undoing what the host-change journal still holds: the changes of a run
// that ended without undoing them (killed, crashed, power lost). Runs at
// every start before the backend touches the host, and from the uninstaller
// (the "-cleanup" verb).
#pragma once

namespace holv {

// Each section in turn; entries a section cannot use are dropped, entries of
// another instance still running are left to it.
void UndoHostJournal();

}  // namespace holv
