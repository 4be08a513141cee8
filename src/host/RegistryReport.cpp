#include "host/RegistryReport.h"

#include <windows.h>

#include "base/Unique.h"
#include "host/RegistryPath.h"
#include "host/RegistryValueText.h"
#include "imc/ImcOperations.h"
#include "imc/ImcVariables.h"

namespace holv {
namespace {

HKEY RootKey(RegistryRoot root) {
    switch (root) {
        case RootLocalMachine: return HKEY_LOCAL_MACHINE;
        case RootCurrentUser: return HKEY_CURRENT_USER;
        case RootClassesRoot: return HKEY_CLASSES_ROOT;
        case RootCurrentConfig: return HKEY_CURRENT_CONFIG;
        case RootUsers: return HKEY_USERS;
        case RootPerformanceData: return HKEY_PERFORMANCE_DATA;
        case RootNone: break;
    }
    return nullptr;
}

// The value into a 2047-byte buffer; false when it cannot be read (also
// when it is larger).
bool ReadValue(const RegistryPath& path, DWORD& type, uint8_t (&data)[kReportedValueSize], DWORD& size) {
    UniqueKey key;
    if (RegOpenKeyExA(RootKey(path.root), path.key.c_str(), 0, KEY_QUERY_VALUE, key.put()) != ERROR_SUCCESS)
        return false;
    size = sizeof data;
    return RegQueryValueExA(key.get(), path.value.c_str(), nullptr, &type, data, &size) == ERROR_SUCCESS;
}

}  // namespace

void ReportRegistryValue(const uint8_t* mac, const char* text) {
    RegistryPath path;
    DWORD type = 0, size = 0;
    uint8_t data[kReportedValueSize];
    bool read = SplitRegistryPath(text, &path) && ReadValue(path, type, data, size);
    uint8_t reply[kReportedValueSize + 1];
    size_t length = FormatReportedValue(path.value.c_str(), type, read ? data : nullptr, read ? size : 0, reply);
    ImcSetString(mac, "", "", kGroupHostAgent, kItemReport, static_cast<int>(length),
                 reinterpret_cast<const char*>(reply));
}

}  // namespace holv
