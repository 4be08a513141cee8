#include <windows.h>

#include "base/RegistryText.h"
#include "base/Unique.h"
#include "session/Association.h"

namespace holv {

std::optional<std::string> ReadPlayerAssociation() {
    // The machine's classes only: the merged HKEY_CLASSES_ROOT lets the
    // user's own HKCU\Software\Classes win, and this command is started
    // elevated, so an unelevated program of the same user could choose it.
    UniqueKey key;
    if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Classes\\VMware.Document\\shell\\open\\command", 0,
                        KEY_QUERY_VALUE, key.put()) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    // The whole 256-byte value is asked for; the reader adds the terminator.
    char text[kAssociationSize + 1];
    if (ReadRegistryText(key.get(), nullptr, text) != ERROR_SUCCESS || text[0] == '\0') return std::nullopt;
    return std::string(text);
}

}  // namespace holv
