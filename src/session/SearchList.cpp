#include "session/SearchList.h"

#include <iphlpapi.h>
#include <winsock2.h>

#include <cstring>

#include "base/RegistryText.h"
#include "base/Text.h"
#include "base/Unique.h"
#include "session/HostJournal.h"
#include "session/SearchListPlan.h"

namespace holv {
namespace {

// The mark's name says where the way back is kept.
constexpr char kBackupValue[] = "SearchListBackupSC";

constexpr char kNetworkConnectionsKey[] =
    "SYSTEM\\CurrentControlSet\\Control\\Network\\{4D36E972-E325-11CE-BFC1-08002BE10318}";
constexpr char kNetworkClassKey[] = "SYSTEM\\CurrentControlSet\\Control\\Class\\{4D36E972-E325-11CE-BFC1-08002BE10318}";
constexpr char kTapProductName[] = "VirtualBox TAP Adapter";
constexpr size_t kRegistryNameSize = 256;

// A REG_SZ value read into a 256-byte buffer: at most 255 characters kept.
std::optional<std::string> ReadShortText(HKEY key, const char* name) {
    char text[kRegistryNameSize];
    if (ReadRegistryText(key, name, text) != ERROR_SUCCESS) return std::nullopt;
    return std::string(text);
}

bool IsTapAdapter(const char* guid) {
    UniqueKey classes;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kNetworkClassKey, 0, KEY_READ, classes.put()) != ERROR_SUCCESS) return false;
    char name[kRegistryNameSize];
    for (DWORD i = 0;; ++i) {
        DWORD length = sizeof name;
        if (RegEnumKeyExA(classes.get(), i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        UniqueKey device;
        if (RegOpenKeyExA(classes.get(), name, 0, KEY_READ, device.put()) != ERROR_SUCCESS) continue;
        auto id = ReadShortText(device.get(), "NetCfgInstanceId");
        auto product = ReadShortText(device.get(), "ProductName");
        if (id && *id == guid && product && *product == kTapProductName) return true;
    }
    return false;
}

class SystemAdapters : public AdapterControl {
public:
    void RenewLease(const char* adapterName) override {
        // The IP Helper wants the name in UTF-16; the name is plain ASCII.
        IP_ADAPTER_INDEX_MAP map{};
        size_t i = 0;
        for (; adapterName[i] && i < MAX_ADAPTER_NAME - 1; ++i) map.Name[i] = static_cast<WCHAR>(adapterName[i]);
        map.Name[i] = L'\0';
        ULONG index = 0;
        if (GetAdapterIndex(map.Name, &index) != NO_ERROR) return;
        map.Index = index;
        IpRenewAddress(&map);
    }
};

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

AdapterControl& SystemAdapterControl() {
    static SystemAdapters adapters;
    return adapters;
}

std::optional<std::string> FindAdapterGuid() {
    static std::string found;  // never searched again once known
    if (!found.empty()) return found;
    UniqueKey connections;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kNetworkConnectionsKey, 0, KEY_READ, connections.put()) != ERROR_SUCCESS)
        return std::nullopt;
    char guid[kRegistryNameSize];
    for (DWORD i = 0;; ++i) {
        DWORD length = sizeof guid;
        if (RegEnumKeyExA(connections.get(), i, guid, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        char path[kRegistryNameSize + 16];
        FormatText(path, sizeof path, "%s\\Connection", guid);
        UniqueKey connection;
        if (RegOpenKeyExA(connections.get(), path, 0, KEY_READ, connection.put()) != ERROR_SUCCESS) continue;
        auto name = ReadShortText(connection.get(), "Name");
        if (name && *name == kHostAdapterName && IsTapAdapter(guid)) {
            found = guid;
            return found;
        }
    }
    return std::nullopt;
}

void RenewAdapterLease(AdapterControl& control) {
    auto guid = FindAdapterGuid();
    if (!guid) return;
    char name[128];
    FormatText(name, sizeof name, "\\DEVICE\\TCPIP_%s", guid->c_str());
    control.RenewLease(name);
}

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
