// The DNS suffix search list as the appliance edits it: the expansion of its
// suffix template and the registry changes that follow from the values the
// host holds now. Windows-free, so it is built natively and fuzzed.
#pragma once
#include <cstddef>
#include <string>

namespace holv {

// Each search-list value is read into, and each new list built in, a buffer
// of this size: at most 1023 characters and the NUL.
inline constexpr size_t kSearchListSize = 1024;
inline constexpr size_t kSearchListMax = kSearchListSize - 1;

// Copies the template into out, '+' replaced by the backed-up list and '&' by
// the primary DNS suffix (null: absent). A placeholder whose text is absent,
// empty or would not leave the list below 1023 characters yields nothing and
// takes a comma just before it along. Stops once the list holds 1023
// characters. Returns the list's length; out is always terminated.
size_t ExpandSuffixTemplate(const char* suffixTemplate, const char* backup, const char* primary,
                            char (&out)[kSearchListSize]);

// A registry value as the search list's logic sees it.
struct ListValue {
    enum State { Absent, Text, Unusable } state = Absent;  // Unusable: there, but no text of at most 1023 bytes
    std::string text;

    static ListValue Missing() { return {}; }
    static ListValue Of(std::string t) { return {Text, std::move(t)}; }
    static ListValue Unreadable() { return {Unusable, {}}; }
    bool HasText() const { return state == Text; }
};

struct SearchListValues {
    ListValue searchList;  // "SearchList"
    ListValue backup;      // "SearchListBackupSC"
    ListValue primary;     // "NV Domain"
    // The journal says there was no "SearchList" before the program wrote
    // one: the way back is to delete it.
    bool wasAbsent = false;
};

// What to write: in this order the backup (or the journal's note that there
// was no list), the list, the deletion of the backup or of the list, the
// erasure of the journal's note, then the renewal of the host adapter's lease.
struct SearchListChange {
    bool writeBackup = false;
    std::string backupText;
    bool noteAbsent = false;
    bool writeList = false;
    std::string listText;
    bool deleteBackup = false;
    bool deleteList = false;
    bool forgetNote = false;
    bool renewLease = false;

    bool Empty() const {
        return !writeBackup && !noteAbsent && !writeList && !deleteBackup && !deleteList && !forgetNote && !renewLease;
    }
};

// With a template (not null): back the user's list up unless a backup exists
// (or note that there was none), and write the expanded template. Without
// one: put the backup back and delete it, or delete a list that was not there
// before. A list or backup that is there but cannot be read whole is never
// overwritten or deleted: the user's own list would be lost.
SearchListChange PlanSearchListUpdate(const SearchListValues& now, const char* suffixTemplate);

}  // namespace holv
