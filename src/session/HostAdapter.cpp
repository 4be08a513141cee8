#include "session/HostAdapter.h"

#include <iphlpapi.h>

#include "base/RegistryText.h"
#include "base/Text.h"
#include "base/Unique.h"

namespace holv {
namespace {

constexpr char kNetworkConnectionsKey[] =
    "SYSTEM\\CurrentControlSet\\Control\\Network\\{4D36E972-E325-11CE-BFC1-08002BE10318}";
constexpr char kNetworkClassKey[] = "SYSTEM\\CurrentControlSet\\Control\\Class\\{4D36E972-E325-11CE-BFC1-08002BE10318}";
constexpr char kTapProductName[] = "VirtualBox TAP Adapter";
constexpr size_t kRegistryNameSize = 256;

// A name or id: at most 255 characters kept, as the adapter keys hold them.
std::optional<std::string> ReadShortText(HKEY key, const char* name) {
    char text[kRegistryNameSize];
    if (ReadRegistryText(key, name, text) != ERROR_SUCCESS) return std::nullopt;
    return std::string(text);
}

// The subkey names of a key, in the order the registry gives them.
template <typename F>
bool ForEachSubkey(HKEY key, F f) {
    char name[kRegistryNameSize];
    for (DWORD i = 0;; ++i) {
        DWORD length = sizeof name;
        if (RegEnumKeyExA(key, i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) return false;
        if (f(name)) return true;
    }
}

class SystemAdapters : public AdapterControl {
public:
    void ReleaseLease(const char* adapterName) override {
        IP_ADAPTER_INDEX_MAP map{};
        if (Lookup(adapterName, map)) IpReleaseAddress(&map);
    }
    void RenewLease(const char* adapterName) override {
        IP_ADAPTER_INDEX_MAP map{};
        if (Lookup(adapterName, map)) IpRenewAddress(&map);
    }

private:
    // The IP Helper wants the name in UTF-16; the name is plain ASCII.
    static bool Lookup(const char* adapterName, IP_ADAPTER_INDEX_MAP& map) {
        size_t i = 0;
        for (; adapterName[i] && i < MAX_ADAPTER_NAME - 1; ++i) map.Name[i] = static_cast<WCHAR>(adapterName[i]);
        map.Name[i] = L'\0';
        ULONG index = 0;
        if (GetAdapterIndex(map.Name, &index) != NO_ERROR) return false;
        map.Index = index;
        return true;
    }
};

}  // namespace

AdapterControl& SystemAdapterControl() {
    static SystemAdapters adapters;
    return adapters;
}

bool IsTapAdapter(const char* guid, HKEY root) {
    UniqueKey classes;
    if (RegOpenKeyExA(root, kNetworkClassKey, 0, KEY_READ, classes.put()) != ERROR_SUCCESS) return false;
    return ForEachSubkey(classes.get(), [&](const char* name) {
        UniqueKey device;
        if (RegOpenKeyExA(classes.get(), name, 0, KEY_READ, device.put()) != ERROR_SUCCESS) return false;
        auto id = ReadShortText(device.get(), "NetCfgInstanceId");
        auto product = ReadShortText(device.get(), "ProductName");
        return id && *id == guid && product && *product == kTapProductName;
    });
}

std::optional<std::string> FindAdapterGuidUnder(HKEY root) {
    UniqueKey connections;
    if (RegOpenKeyExA(root, kNetworkConnectionsKey, 0, KEY_READ, connections.put()) != ERROR_SUCCESS)
        return std::nullopt;
    std::optional<std::string> found;
    ForEachSubkey(connections.get(), [&](const char* guid) {
        char path[kRegistryNameSize + 16];
        FormatText(path, sizeof path, "%s\\Connection", guid);
        UniqueKey connection;
        if (RegOpenKeyExA(connections.get(), path, 0, KEY_READ, connection.put()) != ERROR_SUCCESS) return false;
        auto name = ReadShortText(connection.get(), "Name");
        if (!name || *name != kHostAdapterName || !IsTapAdapter(guid, root)) return false;
        found = guid;
        return true;
    });
    return found;
}

std::optional<std::string> FindAdapterGuid() {
    static std::string kept;
    if (kept.empty()) kept = FindAdapterGuidUnder(HKEY_LOCAL_MACHINE).value_or("");
    if (kept.empty()) return std::nullopt;
    return kept;
}

void RenewAdapterLease(AdapterControl& control, bool release) {
    auto guid = FindAdapterGuid();
    if (!guid) return;
    char name[128];
    FormatText(name, sizeof name, "\\DEVICE\\TCPIP_%s", guid->c_str());
    if (release) control.ReleaseLease(name);
    control.RenewLease(name);
}

}  // namespace holv
