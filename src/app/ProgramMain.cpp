#include <windows.h>

#include <cstring>
#include <string>

#include "app/CanonicalPath.h"
#include "app/CommandLine.h"
#include "app/InstanceHandover.h"
#include "app/MainWindow.h"
#include "app/Program.h"
#include "app/Service.h"
#include "app/ServiceFolder.h"
#include "backends/Cvmx.h"
#include "backends/HostJournalUndo.h"
#include "base/Text.h"
#include "base/Unique.h"

namespace holv {

Program::Program() {
    autostart = {ServiceIsAutostart, InstallServiceForTrustedFolder, RemoveService};
}

void Program::TakeWaitingVerbs() {
    browsePending() = verbs.Seen(VerbBrowse);
    statusPushPending() = verbs.Seen(VerbXstatus);
    statusPushPort() = verbs.verbs[VerbXstatus].value;
}

Program g_program;

namespace {

// Relative configuration paths are relative to the program, not to whoever
// started it (the service manager starts it in the system folder).
void EnterProgramFolder() {
    char path[MAX_PATH];
    DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH - 1);
    if (n == 0 || n >= MAX_PATH - 1) return;
    path[n] = '\0';
    char* slash = std::strrchr(path, '\\');
    if (!slash) return;
    // In a drive's root the backslash stays: "C:" alone names that drive's
    // current folder (System32 for the service's child), not its root.
    bool driveRoot = slash == path + 2 && path[1] == ':';
    slash[driveRoot ? 1 : 0] = '\0';
    SetCurrentDirectoryA(path[0] ? path : "\\");
}

void RegisterMainWindowClass(HINSTANCE instance, const char* className) {
    WNDCLASSEXA wc{};
    wc.cbSize = sizeof wc;
    wc.style = CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = MainWindowProc;
    wc.hInstance = instance;
    wc.hIcon = LoadIconA(instance, MAKEINTRESOURCEA(kResAppIcon));
    wc.hCursor = LoadCursorA(nullptr, MAKEINTRESOURCEA(32512));  // IDC_ARROW
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    wc.lpszMenuName = MAKEINTRESOURCEA(kResMenu);
    wc.lpszClassName = className;
    RegisterClassExA(&wc);
}

// The file must be readable as a file: a folder or a missing file is not a
// VM configuration. Returns 0 or the system's error.
DWORD TestReadable(const std::string& path) {
    UniqueFile f(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                             nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (f) return 0;
    DWORD error = GetLastError();
    return error ? error : ERROR_FILE_NOT_FOUND;
}

int RunMessageLoop(HINSTANCE instance) {
    HACCEL accelerators = LoadAcceleratorsA(instance, MAKEINTRESOURCEA(kResAccelerators));
    MSG msg;
    for (;;) {
        BOOL got = GetMessageA(&msg, nullptr, 0, 0);
        if (got == 0) return static_cast<int>(msg.wParam);
        if (got == -1) return static_cast<int>(GetLastError());
        if (accelerators && TranslateAcceleratorA(msg.hwnd, accelerators, &msg)) continue;
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
}

int RunFirstInstance(HINSTANCE instance) {
    Program& p = g_program;
    if (p.verbs.Seen(VerbExit)) return 0;
    if (!p.verbs.Seen(VerbStart) && (p.verbs.Seen(VerbInstall) || p.verbs.Seen(VerbRemove))) return 0;
    if (int aborted = RunConflictCheck(p.className)) return aborted;
    int init = InitMainWindow(instance);
    if (init != 0 && init != ERROR_SERVICE_NOT_ACTIVE) return init;
    return RunMessageLoop(instance);
}

}  // namespace

int ProgramMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int) {
    Program& p = g_program;
    p.instance = instance;
    EnterProgramFolder();
    if (LoadStringA(instance, kResClassName, p.className, sizeof p.className) == 0)
        CopyText(p.className, "RKHVTRAYICON");
    RegisterMainWindowClass(instance, p.className);

    std::string path = AbsoluteLongPath(ParseCommandLine(commandLine, p.verbs));
    // The uninstaller's last word on the host: what the journal still holds
    // is undone, and nothing else happens (no VM file is needed, no instance
    // starts, nothing is shown).
    if (p.verbs.Seen(VerbCleanup)) {
        UndoHostJournal();
        return 0;
    }
    if (DWORD error = TestReadable(path)) {
        MessageBoxA(nullptr, "VMX file not found.", "Error", MB_OK | MB_ICONERROR);
        return static_cast<int>(error);
    }
    p.configPath = CanonicalizePath(path);
    p.TakeWaitingVerbs();

    // The service runs the program, and what it starts from the VM's
    // folder, as LocalSystem: neither made nor served for a folder a
    // standard user may fill. Its child ends with the refusal, which the
    // service reports as its own exit code.
    if (p.verbs.Seen(VerbInstall) && !p.verbs.Seen(VerbRemove)) {
        if (int refused = RefuseUntrustedVmFolder(p.configPath)) return refused;
        InstallService(p.configPath);
    }
    if (p.verbs.Seen(VerbRemove)) RemoveService();
    if (!p.verbs.Seen(VerbRemove) && ServiceIsAutostart()) {
        if (int refused = RefuseUntrustedVmFolder(p.configPath)) return refused;
    }

    std::string mutexName = InstanceMutexName(p.configPath);
    HANDLE created = CreateMutexA(nullptr, FALSE, mutexName.c_str());
    DWORD error = GetLastError();
    UniqueHandle mutex(created);
    if (!mutex) return static_cast<int>(error);
    if (error == ERROR_ALREADY_EXISTS) {
        mutex.reset();
        return HandOverToRunningInstance(p.className, p.configPath, p.verbs);
    }

    int result = RunFirstInstance(instance);
    // Destroying the backend takes down what it set up on the host (routes,
    // the appliance conversation) before the mutex lets another instance in.
    p.backend.reset();
    mutex.reset();
    return result;
}

}  // namespace holv
