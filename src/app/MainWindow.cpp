#include "app/MainWindow.h"

#include "app/Program.h"
#include "app/Service.h"
#include "backends/ApplianceGui.h"
#include "backends/BackendSelection.h"
#include "backends/Cvmx.h"
#include "base/ErrorText.h"
#include "host/AddressWatch.h"
#include "ui/AboutDialog.h"
#include "ui/OptionsDialog.h"
#include "ui/StatusDisplay.h"

namespace holv {
namespace {

constexpr UINT kFirstPollMs = 1000;
constexpr UINT kPollMs = 10000;

// For the program's life: a callback of the system's may outlast Stop.
AddressWatch g_addressWatch;

void ShowStartupError(int code) {
    std::string text =
        code == ERROR_SERVICE_DOES_NOT_EXIST ? "VMware is not installed on this machine." : ErrorText(code);
    MessageBoxA(g_program.mainWindow, text.c_str(), "Error", MB_OK | MB_ICONERROR);
}

LRESULT OnCommand(HWND window, WPARAM wParam, LPARAM lParam) {
    Program& p = g_program;
    Cvmx& vm = *p.backend;
    switch (LOWORD(wParam)) {
        case CmdExit:
            if (lParam == 0 && !ServiceIsAutostart()) vm.Stop();
            DestroyWindow(window);
            return 0;
        case CmdStart:
            vm.Start(static_cast<int>(lParam));
            RefreshStatus(p, 0, 0);
            return 0;
        case CmdStop:
            vm.Stop();
            RefreshStatus(p, 0, 0);
            return 0;
        case CmdBrowse:
            if (vm.Poll(0, 0) < StateRunning) {
                p.browsePending() = true;
            } else {
                p.browsePending() = false;
                OpenApplianceGui(vm);
            }
            return 0;
        case CmdStatus: MessageBoxA(window, BuildStatusText(p), "Status", MB_OK | MB_ICONINFORMATION); return 0;
        case CmdAbout: ShowAboutDialog(p.instance, window); return 0;
        case CmdOptions: ShowOptionsDialog(p.instance, window, p); return 0;
        case CmdNetConfig: vm.RunNetConfig(); return 0;
        case CmdStatusPush:
            p.statusPushPort() = static_cast<int>(lParam);
            p.statusPushPending() = true;
            if (vm.Poll(0, 0) == StateRunning) PushStatus(p, p.statusPushPort());
            return 0;
        default: return DefWindowProcA(window, WM_COMMAND, wParam, lParam);
    }
}

void OnPollTimer(HWND window) {
    Program& p = g_program;
    RefreshStatus(p, 1, 0);
    SetTimerPeriod(window, p.pollTimer, kPollMs);
    if (p.startPending()) {
        p.backend->Start(0);
        RefreshStatus(p, 0, 0);
        // While the service is to bring the VM up with the PC, keep trying.
        if (p.backend->Poll(0, 0) >= StateStarting || !ServiceIsAutostart()) p.startPending() = false;
    }
    if (p.stopPending()) {
        p.stopPending() = false;
        p.backend->Stop();
        RefreshStatus(p, 0, 0);
    }
}

LRESULT OnTimer(HWND window, WPARAM id) {
    Program& p = g_program;
    if (id == p.pollTimer.Id())
        OnPollTimer(window);
    else if (id == p.sessionTimer.Id())
        RefreshStatus(p, 0, 1);
    return 0;
}

// After sleep or an address change the appliance may be reachable another
// way or not at all, and routes may need mending: look now, not at the next
// poll (up to 10 s away, or the session timer's minute while Running).
void RefreshNetworkNow() {
    Program& p = g_program;
    p.backend->NoteNetworkChange();
    RefreshStatus(p, 1, 1);
}

LRESULT OnPowerBroadcast(WPARAM event) {
    if (event == PBT_APMRESUMEAUTOMATIC || event == PBT_APMRESUMESUSPEND) RefreshNetworkNow();
    return TRUE;
}

LRESULT OnAddressChanged() {
    g_addressWatch.Rearm();
    RefreshNetworkNow();
    return 0;
}

}  // namespace

int InitMainWindow(HINSTANCE instance) {
    Program& p = g_program;
    p.instance = instance;
    p.mainWindow = CreateWindowExA(0, p.className, "Holvenstead", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, 0, CW_USEDEFAULT,
                                   0, nullptr, nullptr, instance, nullptr);
    if (!p.mainWindow) return static_cast<int>(GetLastError());

    int code = SelectBackend(p.configPath, p.backend);
    if (!p.backend) {
        ShowStartupError(code);
        return code;
    }
    SetWindowTextA(p.mainWindow, p.configPath.c_str());
    CreateTrayIcon(p);
    p.taskbarCreated = RegisterWindowMessageA("TaskbarCreated");
    SetTimerPeriod(p.mainWindow, p.pollTimer, kFirstPollMs);
    p.backend->SetNotifyWindow(p.mainWindow, WM_IMC_INPUT);
    g_addressWatch.Start(p.mainWindow, WM_ADDRESS_CHANGED);
    return code;
}

namespace {

// The appliance's "[exit]" arrives through a session step, which any of the
// window's handlers may have run: it becomes the command it asks for.
void PostExitRequest(HWND window, Cvmx& vm) {
    switch (vm.TakeExitRequest()) {
        case SessionExitExit: PostMessageA(window, WM_COMMAND, CmdExit, 0); break;
        case SessionExitStop: PostMessageA(window, WM_COMMAND, CmdStop, 0); break;
        case SessionExitNone: break;
    }
}

LRESULT Dispatch(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    Program& p = g_program;
    if (p.taskbarCreated && message == p.taskbarCreated) {
        RecreateTrayIcon(p);
        RefreshStatus(p, 0, 0);
        return 0;
    }
    switch (message) {
        case WM_COMMAND: return OnCommand(window, wParam, lParam);
        case WM_TIMER: return OnTimer(window, wParam);
        case WM_POWERBROADCAST: return OnPowerBroadcast(wParam);
        case WM_ADDRESS_CHANGED: return OnAddressChanged();
        case WM_DESTROY:
            g_addressWatch.Stop();
            SetTimerPeriod(window, p.pollTimer, 0);
            SetTimerPeriod(window, p.sessionTimer, 0);
            PostQuitMessage(0);
            return 0;
        case WM_TRAY_NOTIFY: return HandleTrayNotification(wParam, lParam);
        case WM_IMC_INPUT: RefreshStatus(p, 1, 1); return 0;
        default: return DefWindowProcA(window, message, wParam, lParam);
    }
}

}  // namespace

LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    Program& p = g_program;
    if (message == 0) return 0;
    // Messages during creation, and to any other window of the class.
    if (window != p.mainWindow || !p.backend) return DefWindowProcA(window, message, wParam, lParam);
    LRESULT result = Dispatch(window, message, wParam, lParam);
    if (p.backend && message != WM_DESTROY) PostExitRequest(window, *p.backend);
    return result;
}

}  // namespace holv
