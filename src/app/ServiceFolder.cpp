#include "app/ServiceFolder.h"

#include <windows.h>

#include "app/Service.h"
#include "backends/VBoxCommands.h"
#include "base/Text.h"
#include "host/FolderTrust.h"
#include "imc/ImcLog.h"

namespace holv {
namespace {

constexpr DWORD kBoxTimeoutMs = 60000;

// MessageBoxTimeoutA: in user32 since Windows XP, but not declared; looked
// up so that a missing one leaves a plain box.
int ShowBoxWithDeadline(const char* text) {
    using BoxFn = int(WINAPI*)(HWND, LPCSTR, LPCSTR, UINT, WORD, DWORD);
    HMODULE user = GetModuleHandleA("user32.dll");
    auto box =
        user ? reinterpret_cast<BoxFn>(reinterpret_cast<void*>(GetProcAddress(user, "MessageBoxTimeoutA"))) : nullptr;
    UINT style = MB_OK | MB_ICONERROR | MB_SETFOREGROUND;
    if (box) return box(nullptr, text, "Error", style, 0, kBoxTimeoutMs);
    return MessageBoxA(nullptr, text, "Error", style);
}

std::string FolderOf(const std::string& path) {
    size_t slash = path.find_last_of('\\');
    return slash == std::string::npos ? std::string(".") : path.substr(0, slash == 2 && path[1] == ':' ? 3 : slash);
}

}  // namespace

int RefuseUntrustedVmFolder(const std::string& configPath) {
    std::string untrusted;
    int rc = CheckFolderTrust(FolderOf(configPath), VBoxFolderFiles(), &untrusted);
    if (rc == 0) return 0;
    ImcLogOpenFromEnvironment();
    ImcLog("Folder refused for the service (error %d): %s\n", rc, untrusted.c_str());
    char text[MAX_PATH + 200];
    FormatText(text, sizeof text,
               "The VM's folder is refused for the service: users other than administrators may change "
               "\"%s\". Only an administrator's folder may hold what the service runs.",
               untrusted.c_str());
    ShowBoxWithDeadline(text);
    return rc;
}

void InstallServiceForTrustedFolder(const std::string& configPath) {
    if (RefuseUntrustedVmFolder(configPath) == 0) InstallService(configPath);
}

}  // namespace holv
