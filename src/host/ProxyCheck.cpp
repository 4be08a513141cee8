#include "host/ProxyCheck.h"

#include <windows.h>

#include <cstring>

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

// Said instead of the offer when the exception cannot be added for the user.
constexpr char kCannotAddFormat[] =
    "Your browser is configured to use a proxy server.\n"
    "You will probably not be able to view the Holvenstead GUI unless you disable the use of a proxy server or "
    "create an exception for '%s://%s'.\n\n"
    "The exception cannot be created automatically: your list of proxy exceptions is too long to take it "
    "without losing entries. Please add it in your browser's proxy settings.";

// "ProxyOverride" as text in its 2048 bytes of room (the terminator's byte
// included, as the setting allows): empty when missing; false when it is
// there but does not fit, so it can be neither searched whole nor rewritten.
bool ReadProxyOverride(HKEY key, char (&text)[kProxyOverrideSize + 1]) {
    text[0] = '\0';
    DWORD type = 0, size = kProxyOverrideSize;
    LSTATUS rc = RegQueryValueExA(key, "ProxyOverride", nullptr, &type, reinterpret_cast<BYTE*>(text), &size);
    if (rc == ERROR_FILE_NOT_FOUND) return true;
    if (rc != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) return false;
    text[size] = '\0';
    return true;
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
    char old[kProxyOverrideSize + 1];
    bool whole = ReadProxyOverride(key.get(), old);
    if (whole && std::strstr(old, exception)) return;
    // A list that cannot be read whole, or would have to be cut to take the
    // exception, is left alone; the user is still told about the proxy.
    char updated[kProxyOverrideSize];
    bool canAdd = whole && ComposeProxyOverride(exception, old, updated);

    ProxyWarningShown() = true;
    char text[1024];
    if (canAdd)
        FormatText(text, sizeof text, kWarningFormat, "https", address);
    else
        FormatText(text, sizeof text, kCannotAddFormat, "https", address);
    if (MessageBoxA(nullptr, text, kProxyWarningCaption, canAdd ? MB_YESNO : MB_OK) != IDYES || !canAdd) return;
    RegSetValueExA(key.get(), "ProxyOverride", 0, REG_SZ, reinterpret_cast<const BYTE*>(updated),
                   static_cast<DWORD>(std::strlen(updated) + 1));
}

}  // namespace holv
