#include "host/Browser.h"

#include <windows.h>

#include <cstring>

#include "base/RegistryText.h"
#include "base/SystemVersion.h"
#include "base/Text.h"
#include "base/Unique.h"
#include "host/ProcessLaunch.h"
#include "host/ProxyCheck.h"

namespace holv {
namespace {

constexpr size_t kHandlerKeySize = 128;
constexpr size_t kProgIdSize = 64;

// A string value read into size bytes (the last kept for the NUL); empty
// when it is missing, of another type or too long.
void ReadString(HKEY root, const char* keyPath, const char* name, char* text, size_t size) {
    text[0] = '\0';
    UniqueKey key;
    if (RegOpenKeyExA(root, keyPath, 0, KEY_QUERY_VALUE, key.put()) != ERROR_SUCCESS) return;
    ReadRegistryText(key.get(), name, text, size);
}

// Whether the machine's own classes hold exactly this handler command.
bool MachineHandlerIs(const char* keyPath, const char* command) {
    char machineKey[kHandlerKeySize + 20];
    FormatText(machineKey, sizeof machineKey, "SOFTWARE\\Classes\\%s", keyPath);
    char machine[kHandlerValueSize + 1];
    ReadString(HKEY_LOCAL_MACHINE, machineKey, nullptr, machine, sizeof machine);
    return std::strcmp(machine, command) == 0;
}

// Since Windows Vista the user's own choice of browser lives under
// UrlAssociations and overrides the scheme's class.
void HandlerKeyFor(const char* url, size_t schemeLength, char (&key)[kHandlerKeySize]) {
    int n = static_cast<int>(schemeLength);
    FormatText(key, sizeof key, "%.*s\\shell\\open\\command", n, url);
    if (SystemVersion().dwMajorVersion < 6) return;
    char choice[256];
    FormatText(choice, sizeof choice,
               "Software\\Microsoft\\Windows\\Shell\\Associations\\UrlAssociations\\%.*s\\UserChoice", n, url);
    char progId[kProgIdSize];
    ReadString(HKEY_CURRENT_USER, choice, "Progid", progId, sizeof progId);
    if (progId[0]) FormatText(key, sizeof key, "%.*s\\shell\\open\\command", static_cast<int>(sizeof progId), progId);
}

}  // namespace

int ChooseUrlCommand(const char* url, UrlCommand* out) {
    *out = UrlCommand{};
    size_t schemeLength = UrlSchemeLength(url);
    if (schemeLength == 0) return kNoScheme;
    char keyPath[kHandlerKeySize];
    HandlerKeyFor(url, schemeLength, keyPath);
    UniqueKey key;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, keyPath, 0, KEY_QUERY_VALUE, key.put()) == ERROR_SUCCESS) {
        key.reset();
        char command[kHandlerValueSize + 1];
        ReadString(HKEY_CLASSES_ROOT, keyPath, nullptr, command, sizeof command);
        if (MakeHandlerFormat(command, out->format)) {
            // Chrome started with another user's token does not come up in
            // the user's session; it is started as the program's own user.
            // That runs it elevated, so only a handler the machine's classes
            // name: the user's own classes (which the merged view prefers)
            // must not choose what runs with the program's rights.
            out->asProgramUser = std::strstr(command, "\\chrome.exe") != nullptr && MachineHandlerIs(keyPath, command);
            return 0;
        }
    }
    CopyText(out->format, kFallbackUrlFormat);
    out->fallback = true;
    return 0;
}

int OpenUrl(const char* text) {
    // The URL may come from the appliance: encoded, it stays one argument of
    // the handler, inside or outside the handler's quotes.
    char url[kCommandSize];
    EncodeUrlForCommandLine(text, url, sizeof url);
    UrlCommand command;
    if (int rc = ChooseUrlCommand(url, &command)) return rc;
    if (command.fallback) {
        char escaped[kCommandSize];
        EscapeForCommandInterpreter(url, escaped, sizeof escaped);
        return RunCommandAsDesktopUser(kNoWait, CREATE_NEW_PROCESS_GROUP, kFallbackUrlFormat, escaped);
    }
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
    // The format holds exactly one "%s" (MakeHandlerFormat checked it).
    if (command.asProgramUser) return RunCommand(kNoWait, CREATE_NEW_PROCESS_GROUP, command.format, url);
    return RunCommandAsDesktopUser(kNoWait, CREATE_NEW_PROCESS_GROUP, command.format, url);
#pragma GCC diagnostic pop
}

int OpenApplianceUrl(const char* address) {
    char url[64];
    FormatText(url, sizeof url, "%s://%s%s", "https", address, "/");
    CheckProxyForAppliance(address);
    return OpenUrl(url);
}

}  // namespace holv
