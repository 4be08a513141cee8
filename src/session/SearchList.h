// The host's DNS suffix search list, edited for the appliance and put back
// afterwards. The user's own list is kept in "SearchListBackupSC" beside
// "SearchList" while the appliance's list is in place, so a restore works
// also at the next start after a crash. Where there was no list, the journal
// notes that, and the way back is to delete the appliance's.
#pragma once
#include <windows.h>

#include "session/HostAdapter.h"

namespace holv {

inline constexpr char kTcpipParametersKey[] = "SYSTEM\\CurrentControlSet\\Services\\Tcpip\\Parameters";

// With a template: applies it (the first time backing the user's list up).
// With null: puts the user's list back if the program had changed it.
// Registry failures are silent: an unopenable key leaves everything as is.
void UpdateSearchList(const char* suffixTemplate, AdapterControl& control = SystemAdapterControl());

// The search list's section of the host-change journal: one entry with its
// owner, there from just before the backup (or the first list where there
// was none) is written until the user's state is back.
inline constexpr char kSearchListJournalSection[] = "SearchList";

// At start-up: puts back a list a run that did not end cleanly left changed
// (not one of an instance still running), and drops the journal's mark once there is no backup (also a backup left
// by a run from before the journal, since the backup's presence alone says
// the list is changed).
void UndoJournalSearchList(AdapterControl& control = SystemAdapterControl());

}  // namespace holv
