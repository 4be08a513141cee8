#include "session/SearchListPlan.h"

#include <cstring>

namespace holv {
namespace {

// A placeholder's text goes in only if it leaves the list below its limit;
// otherwise it yields nothing and a comma that announced it goes too, so the
// list never ends in a dangling separator.
void AppendPlaceholder(const char* text, char (&out)[kSearchListSize], size_t& length) {
    size_t n = text ? strnlen(text, kSearchListSize) : 0;
    if (n > 0 && length + n < kSearchListMax) {
        std::memcpy(out + length, text, n);
        length += n;
    } else if (length > 0 && out[length - 1] == ',') {
        --length;
    }
}

}  // namespace

size_t ExpandSuffixTemplate(const char* suffixTemplate, const char* backup, const char* primary,
                            char (&out)[kSearchListSize]) {
    size_t length = 0;
    for (const char* p = suffixTemplate ? suffixTemplate : ""; *p && length < kSearchListMax; ++p) {
        switch (*p) {
            case '+': AppendPlaceholder(backup, out, length); break;
            case '&': AppendPlaceholder(primary, out, length); break;
            default: out[length++] = *p; break;
        }
    }
    out[length] = '\0';
    return length;
}

SearchListChange PlanSearchListUpdate(const SearchListValues& now, const char* suffixTemplate) {
    SearchListChange change;
    if (!suffixTemplate) {
        if (now.backup.HasText()) {
            change.writeList = true;
            change.listText = now.backup.text;
            change.deleteBackup = change.forgetNote = change.renewLease = true;
        } else if (now.wasAbsent && now.searchList.state != ListValue::Unusable) {
            // Ours, written where there was none; already gone needs only
            // the note erased.
            change.deleteList = change.renewLease = now.searchList.HasText();
            change.forgetNote = true;
        }
        // Otherwise the list is the user's (or could not be saved) and stays.
        return change;
    }
    if (now.backup.state == ListValue::Unusable) return change;  // cannot build on it, must not replace it
    const std::string* backup = now.backup.HasText() ? &now.backup.text : nullptr;
    // With a note that there was no list, the list there now is ours.
    if (!backup && !now.wasAbsent) {
        if (now.searchList.state == ListValue::Unusable) return change;  // could not be saved first
        if (now.searchList.HasText()) {
            change.writeBackup = true;
            change.backupText = now.searchList.text;
            backup = &change.backupText;
        } else {
            change.noteAbsent = true;
        }
    }
    char list[kSearchListSize];
    ExpandSuffixTemplate(suffixTemplate, backup ? backup->c_str() : nullptr,
                         now.primary.HasText() ? now.primary.text.c_str() : nullptr, list);
    change.writeList = true;
    change.listText = list;
    change.renewLease = true;
    return change;
}

}  // namespace holv
