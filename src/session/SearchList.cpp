#include "session/SearchList.h"

#include "base/EventLog.h"
#include "base/RegistryText.h"
#include "base/Text.h"
#include "base/Unique.h"
#include "session/HostJournal.h"
#include "session/SearchListPlan.h"

namespace holv {
namespace {

// The mark's name says where the way back is kept.
constexpr char kBackupValue[] = "SearchListBackupSC";

// A search-list value: a string of at most 1023 bytes, or absent, or there
// but unusable (another type, or too long to be kept whole).
ListValue ReadListValue(HKEY key, const char* name) {
    char text[kSearchListSize];
    LSTATUS rc = ReadRegistryText(key, name, text);
    if (rc == ERROR_FILE_NOT_FOUND) return ListValue::Missing();
    if (rc != ERROR_SUCCESS) return ListValue::Unreadable();
    return ListValue::Of(text);
}

// The journal's note on the list: "changed <owner>" while a backup holds
// the way back, "absent <owner>" while there was no list before ours. An
// older note is "changed" alone.
struct ListNote {
    bool present = false;
    bool absent = false;
    std::optional<JournalOwner> owner;
};

ListNote ReadNote() {
    ListNote note;
    for (const JournalEntry& entry : JournalRead(kSearchListJournalSection)) {
        std::string head;
        if (entry.name != kBackupValue) continue;
        note.present = true;
        // A damaged owner names no run: the note is a dead run's.
        SplitOwnedValue(entry.value, head, note.owner);
        note.absent = head == "absent";
    }
    return note;
}

int WriteNote(const char* head) {
    return JournalWrite(kSearchListJournalSection, kBackupValue,
                        std::string(head) + " " + OwnerText(CurrentJournalOwner()));
}

bool HasValue(HKEY key, const char* name) {
    return RegQueryValueExA(key, name, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
}

bool DeleteValue(HKEY key, const char* name) {
    LSTATUS rc = RegDeleteValueA(key, name);
    return rc == ERROR_SUCCESS || rc == ERROR_FILE_NOT_FOUND;
}

LSTATUS WriteText(HKEY key, const char* name, const std::string& text) {
    return RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                          static_cast<DWORD>(text.size() + 1));
}

}  // namespace

void UpdateSearchList(const char* suffixTemplate, AdapterControl& control) {
    SearchListValues now;
    {
        UniqueKey key;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kTcpipParametersKey, 0, KEY_QUERY_VALUE, key.put()) != ERROR_SUCCESS)
            return;
        now.searchList = ReadListValue(key.get(), "SearchList");
        now.backup = ReadListValue(key.get(), kBackupValue);
        now.primary = ReadListValue(key.get(), "NV Domain");
        ListNote note = ReadNote();
        // Another instance, still running, changed the list: it is its to
        // put back, not this one's as it stops.
        if (!suffixTemplate && note.owner && !SameRun(*note.owner, CurrentJournalOwner()) && OwnerRunning(*note.owner))
            return;
        now.wasAbsent = note.absent;
    }
    SearchListChange change = PlanSearchListUpdate(now, suffixTemplate);
    if (change.Empty()) return;

    // A change not made, or not undone, is told to the event log: the
    // user's list may now stay changed.
    auto failed = [&](const char* what) {
        ReportHolvEvent(suffixTemplate ? HolvEvent::HostChangeFailed : HolvEvent::HostUndoFailed,
                        std::string("the DNS search list: ") + what);
    };
    UniqueKey key;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, kTcpipParametersKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, key.put(),
                        nullptr) != ERROR_SUCCESS)
        return failed("the TCP/IP parameters cannot be written");
    // A backup that did not get written would leave nothing to restore, and
    // a list that did not get written must not lose its backup: stop there.
    if (change.writeBackup &&
        (WriteNote("changed") != 0 || WriteText(key.get(), kBackupValue, change.backupText) != ERROR_SUCCESS))
        return failed("its backup cannot be written");
    // Nothing to back up: the note alone says the list goes again.
    if (change.noteAbsent && WriteNote("absent") != 0) return failed("the journal cannot be written");
    if (change.writeList && WriteText(key.get(), "SearchList", change.listText) != ERROR_SUCCESS)
        return failed("the list cannot be written");
    bool undone = !(change.deleteBackup && !DeleteValue(key.get(), kBackupValue)) &&
                  !(change.deleteList && !DeleteValue(key.get(), "SearchList"));
    if (!undone) failed("the backup or the list cannot be deleted");
    if (change.forgetNote && undone) JournalErase(kSearchListJournalSection, kBackupValue);
    if (change.renewLease) RenewAdapterLease(control);
}

void UndoJournalSearchList(AdapterControl& control) {
    ListNote note = ReadNote();
    // Another instance still running made the change: it is its to undo.
    if (note.owner && OwnerRunning(*note.owner)) return;
    UpdateSearchList(nullptr, control);
    UniqueKey key;
    // A backup, or a list that was not there before, that could not be
    // undone keeps its note.
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kTcpipParametersKey, 0, KEY_QUERY_VALUE, key.put()) == ERROR_SUCCESS &&
        (HasValue(key.get(), kBackupValue) || (note.absent && HasValue(key.get(), "SearchList"))))
        return;
    JournalErase(kSearchListJournalSection, kBackupValue);
}

}  // namespace holv
