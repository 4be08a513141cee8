#include "app/InstanceHandover.h"

#include <windows.h>

#include "app/Program.h"
#include "base/Unique.h"

namespace holv {
namespace {

constexpr DWORD kExitWaitMs = 60000;

void PostCommand(HWND window, int command, LPARAM param = 0) {
    PostMessageA(window, WM_COMMAND, static_cast<WPARAM>(command), param);
}

}  // namespace

int HandOverToRunningInstance(const char* className, const std::string& path, const VerbTable& verbs) {
    HWND window = FindWindowA(className, path.c_str());
    if (!window) return ERROR_ALREADY_EXISTS;  // still initialising: nothing to hand to

    if (verbs.Seen(VerbStart)) PostCommand(window, CmdStart);
    if (verbs.Seen(VerbStop)) PostCommand(window, CmdStop);
    if (verbs.Seen(VerbBrowse)) PostCommand(window, CmdBrowse);
    if (verbs.Seen(VerbXstatus)) PostCommand(window, CmdStatusPush, verbs.verbs[VerbXstatus].value);
    if (!verbs.Seen(VerbExit)) return ERROR_ALREADY_EXISTS;

    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    // Waiting needs nothing more than SYNCHRONIZE; asking for more would fail
    // against an instance whose process is guarded from other users.
    UniqueHandle process(OpenProcess(SYNCHRONIZE, FALSE, pid));
    PostCommand(window, CmdExit);
    if (!process) return ERROR_ALREADY_EXISTS;
    return WaitForSingleObject(process.get(), kExitWaitMs) == WAIT_OBJECT_0 ? 0 : ERROR_ALREADY_EXISTS;
}

}  // namespace holv
