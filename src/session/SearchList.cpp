#include "session/SearchList.h"

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
    }
    SearchListChange change = PlanSearchListUpdate(now, suffixTemplate);
    if (change.Empty()) return;

    UniqueKey key;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, kTcpipParametersKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, key.put(),
                        nullptr) != ERROR_SUCCESS)
        return;
    // A backup that did not get written would leave nothing to restore, and
    // a list that did not get written must not lose its backup: stop there.
    if (change.writeBackup && (JournalWrite(kSearchListJournalSection, kBackupValue, "changed") != 0 ||
                               WriteText(key.get(), kBackupValue, change.backupText) != ERROR_SUCCESS))
        return;
    if (change.writeList && WriteText(key.get(), "SearchList", change.listText) != ERROR_SUCCESS) return;
    if (change.deleteBackup && RegDeleteValueA(key.get(), kBackupValue) == ERROR_SUCCESS)
        JournalErase(kSearchListJournalSection, kBackupValue);
    if (change.renewLease) RenewAdapterLease(control);
}

void UndoJournalSearchList(AdapterControl& control) {
    UpdateSearchList(nullptr, control);
    UniqueKey key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kTcpipParametersKey, 0, KEY_QUERY_VALUE, key.put()) == ERROR_SUCCESS &&
        RegQueryValueExA(key.get(), kBackupValue, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS)
        return;  // a backup that could not be put back keeps its mark
    JournalErase(kSearchListJournalSection, kBackupValue);
}

}  // namespace holv
