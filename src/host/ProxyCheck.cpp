#include "host/ProxyCheck.h"

#include <windows.h>

#include <cstring>

#include "base/RegistryText.h"
#include "base/Text.h"
#include "base/Unique.h"
#include "host/ProxyRules.h"

namespace holv {
namespace {

constexpr char kWarningFormat[] =
    "Your browser is configured to use a proxy server.\n"
    "You will probably not be able to view the Holvenstead GUI unless you disable the use of a proxy server or "
    "create an exception for '%s://%s'.\n\n"
    "Do you want this exception to be automatically created?\n"
    "Note: please close all browser windows before answering \"Yes\".";

std::optional<uint32_t> ValueSize(HKEY key, const char* name) {
    DWORD size = 0;
    if (RegQueryValueExA(key, name, nullptr, nullptr, nullptr, &size) != ERROR_SUCCESS) return std::nullopt;
    return size;
}

std::optional<uint32_t> DwordValue(HKEY key, const char* name) {
    DWORD type = 0, value = 0, size = sizeof value;
    if (RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) != ERROR_SUCCESS ||
        type != REG_DWORD || size != sizeof value)
        return std::nullopt;
    return value;
}

// "ProxyOverride" as text: empty when missing; false when it is there but
// cannot be read whole, so it must not be rewritten.
bool ReadProxyOverride(HKEY key, char (&text)[kProxyOverrideSize]) {
    LSTATUS rc = ReadRegistryText(key, "ProxyOverride", text);
    return rc == ERROR_SUCCESS || rc == ERROR_FILE_NOT_FOUND;
}

}  // namespace

bool& ProxyWarningShown() {
    static bool shown = false;
    return shown;
}

void CheckProxyForAppliance(const char* address) {
    if (ProxyWarningShown()) return;
    UniqueKey key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kInternetSettingsKey, 0, KEY_READ | KEY_WRITE, key.put()) != ERROR_SUCCESS)
        return;
    ProxySettings settings{ValueSize(key.get(), "AutoConfigURL"), DwordValue(key.get(), "ProxyEnable"),
                           ValueSize(key.get(), "ProxyServer")};
    if (!ProxyInUse(settings)) return;

    char exception[64];
    FormatText(exception, sizeof exception, "%s://%s", "https", address);
    char old[kProxyOverrideSize];
    if (!ReadProxyOverride(key.get(), old)) return;
    if (std::strstr(old, exception)) return;
    char updated[kProxyOverrideSize];
    // Offered only when the exception can be added without cutting the list.
    if (!ComposeProxyOverride(exception, old, updated)) return;

    ProxyWarningShown() = true;
    char text[1024];
    FormatText(text, sizeof text, kWarningFormat, "https", address);
    if (MessageBoxA(nullptr, text, kProxyWarningCaption, MB_YESNO) != IDYES) return;
    RegSetValueExA(key.get(), "ProxyOverride", 0, REG_SZ, reinterpret_cast<const BYTE*>(updated),
                   static_cast<DWORD>(std::strlen(updated) + 1));
}

}  // namespace holv
