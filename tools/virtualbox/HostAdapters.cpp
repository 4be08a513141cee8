#include "HostAdapters.h"

#include <cstdio>
#include <random>

#include "base/Unique.h"

namespace holv::vbox {
namespace {

constexpr DWORD kValueSize = 256;
constexpr unsigned kMaxClassEntries = 10000;  // entries are named 0000 to 9999

std::string ReadText(HKEY key, const char* subKey, const char* name) {
    char value[kValueSize] = {};
    DWORD size = sizeof value - 1;
    if (RegGetValueA(key, subKey, name, RRF_RT_REG_SZ, nullptr, value, &size) != ERROR_SUCCESS) return {};
    return value;
}

LONG SetText(HKEY key, const char* name, const std::string& value) {
    return RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                          static_cast<DWORD>(value.size() + 1));
}

std::string NewGuid() {
    std::random_device random;
    unsigned v[4];
    for (unsigned& x : v) x = random();
    char text[40];
    std::snprintf(text, sizeof text, "{%08X-%04X-4%03X-%04X-%04X%08X}", v[0], v[1] & 0xFFFF, (v[1] >> 16) & 0xFFF,
                  0x8000 | (v[2] & 0x3FFF), v[2] >> 16, v[3]);
    return text;
}

// The first free class entry name: real entries are numbered the same way.
std::string FreeClassEntry(HKEY classKey) {
    for (unsigned i = 0; i < kMaxClassEntries; ++i) {
        char name[8];
        std::snprintf(name, sizeof name, "%04u", i);
        UniqueKey probe;
        if (RegOpenKeyExA(classKey, name, 0, KEY_READ, probe.put()) != ERROR_SUCCESS) return name;
    }
    return {};
}

LONG CreateKeyWith(HKEY root, const std::string& path, const std::vector<std::pair<const char*, std::string>>& values) {
    UniqueKey key;
    LONG rc = RegCreateKeyExA(root, path.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, key.put(), nullptr);
    for (const auto& [name, value] : values)
        if (rc == ERROR_SUCCESS) rc = SetText(key.get(), name, value);
    return rc;
}

}  // namespace

std::vector<HostAdapter> ListTapAdapters() {
    std::vector<HostAdapter> adapters;
    UniqueKey classKey;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kClassKey, 0, KEY_READ, classKey.put()) != ERROR_SUCCESS) return adapters;
    char entry[256];
    for (DWORD i = 0;; ++i) {
        DWORD size = sizeof entry;
        if (RegEnumKeyExA(classKey.get(), i, entry, &size, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        if (ReadText(classKey.get(), entry, "ProductName") != kTapProductName) continue;
        const std::string guid = ReadText(classKey.get(), entry, "NetCfgInstanceId");
        const std::string connection = std::string(kNetworkKey) + "\\" + guid + "\\Connection";
        const std::string name = guid.empty() ? "" : ReadText(HKEY_LOCAL_MACHINE, connection.c_str(), "Name");
        if (!name.empty()) adapters.push_back({name, guid});
    }
    return adapters;
}

std::string FormatHostAdapters(const std::vector<HostAdapter>& adapters) {
    std::string text;
    for (const HostAdapter& a : adapters)
        text += "Name:            " + a.name + "\nGUID:            " + a.guid + "\n\n";
    return text;
}

LONG CreateTapAdapter(const std::string& name, std::string* guid) {
    for (const HostAdapter& a : ListTapAdapters())
        if (a.name == name) return ERROR_ALREADY_EXISTS;
    UniqueKey classKey;
    LONG rc = RegCreateKeyExA(HKEY_LOCAL_MACHINE, kClassKey, 0, nullptr, 0, KEY_READ | KEY_WRITE, nullptr,
                              classKey.put(), nullptr);
    if (rc != ERROR_SUCCESS) return rc;
    const std::string entry = FreeClassEntry(classKey.get());
    if (entry.empty()) return ERROR_NO_MORE_ITEMS;
    const std::string id = NewGuid();
    const std::string connection = std::string(kNetworkKey) + "\\" + id;
    rc = CreateKeyWith(HKEY_LOCAL_MACHINE, connection + "\\Connection", {{"Name", name}});
    if (rc == ERROR_SUCCESS)
        rc = CreateKeyWith(classKey.get(), entry,
                           {{"NetCfgInstanceId", id},
                            {"ProductName", kTapProductName},
                            {"DriverDesc", kTapProductName},
                            {"MatchingDeviceId", "vboxtap"}});
    if (rc != ERROR_SUCCESS) {
        // Neither half alone: a connection without its class entry would
        // mislead the program's search as much as the reverse.
        RegDeleteTreeA(HKEY_LOCAL_MACHINE, connection.c_str());
        RegDeleteTreeA(classKey.get(), entry.c_str());
        return rc;
    }
    *guid = id;
    return ERROR_SUCCESS;
}

}  // namespace holv::vbox
