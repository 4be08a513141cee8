#include <windows.h>

#include "base/Unique.h"
#include "session/Association.h"

namespace holv {

std::optional<std::string> ReadPlayerAssociation() {
    UniqueKey key;
    if (::RegOpenKeyExA(HKEY_CLASSES_ROOT, "VMware.Document\\shell\\open\\command", 0, KEY_QUERY_VALUE, key.put()) !=
        ERROR_SUCCESS) {
        return std::nullopt;
    }
    char text[kAssociationSize];
    DWORD type = 0;
    DWORD size = sizeof text;
    if (::RegQueryValueExA(key.get(), nullptr, nullptr, &type, reinterpret_cast<BYTE*>(text), &size) != ERROR_SUCCESS ||
        size == 0 || (type != REG_SZ && type != REG_EXPAND_SZ)) {
        return std::nullopt;
    }
    // A registry string need not carry its terminator.
    text[size < sizeof text ? size : sizeof text - 1] = '\0';
    return std::string(text);
}

}  // namespace holv
