#include <windows.h>

#include <cstring>
#include <string>

#include "app/InstanceHandover.h"
#include "base/Text.h"
#include "base/Unique.h"
#include "host/ProcessList.h"

namespace holv {
namespace {

constexpr int kExitAborted = 170;  // ERROR_BUSY: the user aborted the start

// Executable name of a process, from a snapshot of all processes.
std::string ProcessExeName(DWORD pid) {
    auto entry = FindProcessEntry(pid);
    return entry ? entry->exeName : std::string();
}

// Full path of the process's module that bears the executable's name.
std::string ModulePath(DWORD pid, const std::string& exeName) {
    UniqueFile snap(CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, pid));
    if (!snap) return {};
    MODULEENTRY32 entry{};
    entry.dwSize = sizeof entry;
    for (BOOL ok = Module32First(snap.get(), &entry); ok; ok = Module32Next(snap.get(), &entry)) {
        if (lstrcmpiA(entry.szModule, exeName.c_str()) == 0) return entry.szExePath;
    }
    return {};
}

struct ProgramName {
    std::string name;
    const char* separator;
};

ProgramName IdentifyOwner(HWND window) {
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    std::string exe = pid ? ProcessExeName(pid) : std::string();
    if (exe.empty()) return {"the other application", " "};
    std::string path = ModulePath(pid, exe);
    return {path.empty() ? exe : path, "\n"};
}

int AskUser(const ProgramName& other) {
    char text[772];
    FormatText(text, sizeof text,
               "A conflicting application is already running.\n"
               "These two applications can't run concurrently without disturbing each other's operation.\n\n"
               "Please shut down%s%s%sfirst, then press Retry.\n"
               "Press Abort to abort the start of this %s.\n"
               "Press Ignore to continue anyway.",
               other.separator, other.name.c_str(), other.separator, "Holvenstead");
    return MessageBoxA(nullptr, text, "Conflicting application",
                       MB_ABORTRETRYIGNORE | MB_ICONWARNING | MB_DEFBUTTON2 | MB_SETFOREGROUND);
}

}  // namespace

int RunConflictCheck(const char* className) {
    for (;;) {
        HWND other = FindWindowA(className, nullptr);
        if (!other) return 0;
        switch (AskUser(IdentifyOwner(other))) {
            case IDABORT: return kExitAborted;
            case IDRETRY: break;
            default: return 0;  // Ignore, or no box could be shown: asking again would spin
        }
    }
}

}  // namespace holv
