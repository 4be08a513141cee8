// The host-change journal: before the program changes something of the
// host's that must be undone (a route, the DNS search list, the driver-
// signing policy), it notes how to undo it here, and it erases the note once
// the change is undone. A run that ends without undoing (killed, crashed,
// power lost) leaves its notes, and the next start or the uninstaller undoes
// what they describe.
// Registry key HKLM\SOFTWARE\Holvenstead\Journal\<section>, one REG_SZ value
// per entry. Each section's owner decides what its entries mean.
#pragma once
#include <string>
#include <vector>

#include "session/JournalOwner.h"

namespace holv {

struct JournalEntry {
    std::string name;
    std::string value;
};

inline constexpr char kJournalKey[] = "SOFTWARE\\Holvenstead\\Journal";

// Journal entry names are cut to this many characters, values to this many
// bytes; an entry read back with a longer name is left out, one with a
// longer value or of another type reads as an empty value (which no owner
// accepts, so it is dropped).
inline constexpr size_t kJournalNameMax = 255;
inline constexpr size_t kJournalValueMax = 1023;

// Written through to disk before it returns: the change it stands for comes
// right after. 0, or the Windows error.
int JournalWrite(const char* section, const char* name, const std::string& value);
// 0 also when the entry or the section is absent.
int JournalErase(const char* section, const char* name);
// Empty when the section is missing or unreadable.
std::vector<JournalEntry> JournalRead(const char* section);

// The entries of every section, for telling whether an undo did anything.
size_t JournalCount();

// This run, as its entries name it.
JournalOwner CurrentJournalOwner();
// Whether the run that wrote an entry still runs: then its entries are its
// own to undo. A process that cannot be opened for another reason than not
// being there counts as running. An older entry (no creation time) with this
// process's id is an earlier run's whose id came round again.
bool OwnerRunning(const JournalOwner& owner);

}  // namespace holv
