// vmplayer.exe stand-in: runs one "VM" for the file on its command line. It
// holds the VM's log open (readable, not deletable) with the worker's process
// id on its first line, starts the worker vmware-vmx.exe beside itself, shows
// a frame window of class "VMPlayerFrame" and switches the simulated
// appliance on. Closing the frame, or the worker's end, switches it off
// again, ends the worker and the player.
#include <windows.h>

#include <string>

#include "StandIn.h"
#include "base/Unique.h"

using namespace holv;
using namespace holv::standin;

namespace {

constexpr char kFrameClass[] = "VMPlayerFrame";
constexpr DWORD kWorkerEndWaitMs = 5000;
constexpr int kBadArguments = ERROR_INVALID_PARAMETER;

// The one VM this player runs; one UI thread, so plain globals.
struct Vm {
    std::string vmxPath;
    std::string powerPath;
    UniqueFile log;
    UniqueHandle worker;
    DWORD workerPid = 0;
    bool watchingWorker = false;
    bool off = false;
    // HOLV_PLAYER_NO_WORKER: a player whose VM never comes up, ended by the
    // user as soon as the program has hidden its frame.
    bool noWorker = false;
    HWND frame = nullptr;
};
Vm g_vm;

bool StartWorker() {
    const std::string exe = ModuleFolder() + kWorkerName;
    std::string command = "\"" + exe + "\" -parent " + std::to_string(GetCurrentProcessId());
    if (!g_vm.powerPath.empty()) command += " -power \"" + g_vm.powerPath + "\"";
    command += " \"" + g_vm.vmxPath + "\"";
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    if (!CreateProcessA(exe.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info)) {
        Trace("worker failed error=%lu", GetLastError());
        return false;
    }
    CloseHandle(info.hThread);
    g_vm.worker.reset(info.hProcess);
    g_vm.workerPid = info.dwProcessId;
    g_vm.watchingWorker = true;
    return true;
}

// Switches the VM off once, whichever way the end comes: appliance off,
// worker ended, log closed and left behind as the real player leaves it.
void PowerDown() {
    if (g_vm.off) return;
    g_vm.off = true;
    if (!g_vm.powerPath.empty()) {
        PowerOff(g_vm.powerPath, GetCurrentProcessId());
        Trace("power off");
    }
    DWORD code = 0;
    if (g_vm.worker && GetExitCodeProcess(g_vm.worker.get(), &code) && code == STILL_ACTIVE) {
        TerminateProcess(g_vm.worker.get(), 0);
        WaitForSingleObject(g_vm.worker.get(), kWorkerEndWaitMs);
        Trace("worker ended");
    }
    g_vm.watchingWorker = false;
    g_vm.log.reset();
    Trace("log closed");
}

LRESULT CALLBACK FrameProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_CLOSE:
            // Also arrives after the program moved the frame under the
            // message-only parent and retitled it: nothing here depends on either.
            Trace("close received");
            PowerDown();
            DestroyWindow(window);
            return 0;
        case WM_SETTEXT:
            Trace("title %s", lParam ? reinterpret_cast<const char*>(lParam) : "");
            if (g_vm.noWorker) PostMessageA(window, WM_CLOSE, 0, 0);
            break;
        case WM_DESTROY:
            g_vm.frame = nullptr;
            PostQuitMessage(0);
            return 0;
        default: break;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

int ShowCommand() {
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    GetStartupInfoA(&startup);
    return (startup.dwFlags & STARTF_USESHOWWINDOW) ? startup.wShowWindow : SW_SHOWNORMAL;
}

bool CreateFrame(HINSTANCE instance) {
    WNDCLASSA wc{};
    wc.lpfnWndProc = FrameProc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    wc.lpszClassName = kFrameClass;
    if (!RegisterClassA(&wc)) return false;
    const std::string title = FileNameOf(g_vm.vmxPath) + " - VMware Player stand-in";
    g_vm.frame = CreateWindowExA(0, kFrameClass, title.c_str(), WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT, 640,
                                 480, nullptr, nullptr, instance, nullptr);
    if (!g_vm.frame) return false;
    const int show = ShowCommand();
    ShowWindow(g_vm.frame, show);
    UpdateWindow(g_vm.frame);
    Trace("frame shown show=%d", show);
    return true;
}

// Messages, and the worker's end, which ends the VM as a closed frame does.
int RunLoop() {
    for (;;) {
        MSG msg;
        // Draining first makes the process idle for input at once, which
        // the program's start waits for.
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) return static_cast<int>(msg.wParam);
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
        HANDLE worker = g_vm.worker.get();
        DWORD count = g_vm.watchingWorker ? 1 : 0;
        DWORD r = MsgWaitForMultipleObjects(count, &worker, FALSE, INFINITE, QS_ALLINPUT);
        if (count == 1 && r == WAIT_OBJECT_0) {
            Trace("worker gone");
            g_vm.watchingWorker = false;
            PowerDown();
            if (g_vm.frame)
                DestroyWindow(g_vm.frame);
            else
                PostQuitMessage(0);
        } else if (r == WAIT_FAILED) {
            return 1;
        }
    }
}

int RunPlayer(HINSTANCE instance) {
    g_vm.vmxPath = VmxPathFromCommandLine(GetCommandLineA());
    Trace("start pid=%lu vmx=%s", GetCurrentProcessId(), g_vm.vmxPath.c_str());
    if (g_vm.vmxPath.empty()) {
        Trace("exit no vm file");
        return kBadArguments;
    }
    const std::string logPath = FolderOf(g_vm.vmxPath) + "vmware.log";
    g_vm.log = OpenVmLog(logPath);
    if (!g_vm.log) {
        // Another player runs this VM (or the folder is not writable).
        DWORD err = GetLastError();
        Trace("exit log busy error=%lu", err);
        return static_cast<int>(err);
    }
    g_vm.noWorker = GetEnvironmentVariableA("HOLV_PLAYER_NO_WORKER", nullptr, 0) != 0;
    if (g_vm.noWorker) {
        Trace("no worker");
        int rc = CreateFrame(instance) ? RunLoop() : 1;
        g_vm.log.reset();
        Trace("exit");
        return rc;
    }
    g_vm.powerPath = PowerFilePath(g_vm.vmxPath);
    if (!StartWorker()) {
        g_vm.log.reset();
        return ERROR_FILE_NOT_FOUND;
    }
    WriteVmLog(g_vm.log, FirstLogLine(g_vm.workerPid, "VMware Player stand-in"));
    WriteVmLog(g_vm.log, "vmx| Config file: " + g_vm.vmxPath + "\n");
    Trace("worker pid=%lu log=%s", g_vm.workerPid, logPath.c_str());
    if (!g_vm.powerPath.empty())
        Trace(PowerOn(g_vm.powerPath, GetCurrentProcessId()) ? "power on %s" : "power on failed %s",
              g_vm.powerPath.c_str());
    if (!CreateFrame(instance)) {
        Trace("frame failed error=%lu", GetLastError());
        PowerDown();
        return 1;
    }
    int rc = RunLoop();
    PowerDown();
    Trace("exit");
    return rc;
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    return RunPlayer(instance);
}
