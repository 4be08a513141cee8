#include "backends/CvmxPlayer.h"

#include <cstdio>
#include <cstring>

#include "backends/VmwareFamily.h"
#include "host/ProcessLaunch.h"
#include "host/ProcessSecurity.h"

namespace holv {
namespace {

constexpr DWORD kIdleWaitMs = 60000;
constexpr int kHideAttempts = 600;
constexpr DWORD kHideRetryMs = 100;
constexpr DWORD kPlayerExitWaitMs = 5000;
constexpr char kFrameClass[] = "VMPlayerFrame";
constexpr char kPlayerExe[] = "vmplayer.exe";

bool HasClass(HWND window, const char* className) {
    char name[33] = {};
    GetClassNameA(window, name, sizeof name);
    return std::strcmp(name, className) == 0;
}

struct HideContext {
    DWORD pid;
    const char* title;
    bool hidden;
};

BOOL CALLBACK HideFrameProc(HWND window, LPARAM param) {
    auto* ctx = reinterpret_cast<HideContext*>(param);
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    if (pid != ctx->pid || !IsWindowVisible(window) || !HasClass(window, kFrameClass)) return TRUE;
    // A message-only parent takes the frame off the desktop and the task bar;
    // the title lets Stop find it there again.
    SetParent(window, HWND_MESSAGE);
    SetWindowTextA(window, ctx->title);
    ctx->hidden = true;
    return FALSE;
}

BOOL CALLBACK CloseFrameProc(HWND window, LPARAM param) {
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    if (pid != static_cast<DWORD>(param) || !HasClass(window, kFrameClass)) return TRUE;
    PostMessageA(window, WM_CLOSE, 0, 0);
    return FALSE;
}

std::string UuidMemoryFile(const uint8_t uuid[16]) {
    char name[64];
    int n = 0;
    for (int i = 0; i < 16; ++i) {
        if (i == 4 || i == 6 || i == 8 || i == 10) name[n++] = '-';
        n += std::snprintf(name + n, sizeof name - n, "%02x", uuid[i]);
    }
    return std::string(name, n) + ".vmem";
}

}  // namespace

CvmxPlayer::~CvmxPlayer() {
    Release();
    Close();
}

int CvmxPlayer::Release() {
    playerProcess.reset();
    playerThread.reset();
    return CvmxVmware::Release();
}

// A running VM holds its log open, so a log that will not go away means a VM
// of this configuration is running.
int CvmxPlayer::DeleteLog() {
    DeleteFileA(logPath.c_str());
    return GetFileAttributesA(logPath.c_str()) == INVALID_FILE_ATTRIBUTES ? 1 : 0;
}

int CvmxPlayer::FindVmProcess() {
    vmProcess.reset();
    if (DeleteLog() == 0) {
        DWORD pid = ReadLogPid(logPath);
        if (pid != 0) {
            vmPid = pid;
            vmProcess = OpenVmProcess(vmPid);
            if (vmProcess && !playerProcess) {
                playerPid = ParentRunning(vmPid, kPlayerExe);
                if (playerPid) playerProcess = OpenWithBestAccess(playerPid, false);
            }
        }
    }
    return (playerProcess || vmProcess) ? 1 : 0;
}

void CvmxPlayer::HideFrame() {
    HideContext ctx{playerPid, configPath.c_str(), false};
    for (int attempt = 0; attempt < kHideAttempts; ++attempt) {
        EnumWindows(HideFrameProc, reinterpret_cast<LPARAM>(&ctx));
        if (ctx.hidden) return;
        Sleep(kHideRetryMs);
    }
}

void CvmxPlayer::CloseFrame() {
    HWND frame = FindWindowExA(HWND_MESSAGE, nullptr, kFrameClass, configPath.c_str());
    if (frame) {
        PostMessageA(frame, WM_CLOSE, 0, 0);
    } else if (playerProcess) {
        EnumWindows(CloseFrameProc, static_cast<LPARAM>(playerPid));
    }
}

int CvmxPlayer::Start(int show) {
    if (state < StateStopped) Prepare();
    if (state != StateStopped) return ERROR_NO_PROC_SLOTS;

    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_SHOWMINNOACTIVE;

    // A log that will not go away is the sign of a running VM only when it
    // names one: a read-only log (copied from media) names a VM long gone,
    // and skipping the launch then would leave the VM down with no word why.
    if (DeleteLog() == 1 || FindVmProcess() == 0) {
        DeleteFileA("Holvenstead.vmss");
        DeleteFileA("Holvenstead.vmem");
        uint8_t uuid[16];
        if (ReadMachineUuid(uuid) == 0) DeleteFileA(UuidMemoryFile(uuid).c_str());

        // The player by its full path: never one found in the VM's folder.
        std::string application, mutableCommand;  // CreateProcessA may write into the line
        if (ResolveCommandLine(commandLine.c_str(), application, mutableCommand) != 0) return ERROR_NO_PROC_SLOTS;
        ProcessSecurity security;
        PROCESS_INFORMATION info{};
        if (!CreateProcessA(application.c_str(), mutableCommand.data(), security.ProcessAttributes(),
                            security.ThreadAttributes(), FALSE, 0, nullptr, nullptr, &startup, &info))
            return ERROR_NO_PROC_SLOTS;
        playerProcess.reset(info.hProcess);
        playerThread.reset(info.hThread);
        playerPid = info.dwProcessId;
        playerTid = info.dwThreadId;
        if (WaitForInputIdle(playerProcess.get(), kIdleWaitMs) != 0) return ERROR_NO_PROC_SLOTS;
        if (!show) HideFrame();
    }
    state = StateStarting;
    return 0;
}

// A player that ended before its VM's process was found leaves only its
// handle: that is no running VM, and holding it would keep the state
// "starting" for good.
void CvmxPlayer::DropEndedLauncher() {
    if (playerProcess && !IsStillRunning(playerProcess.get())) {
        playerProcess.reset();
        playerThread.reset();
    }
}

bool CvmxPlayer::VmStillRunning() {
    return IsStillRunning(playerProcess.get()) || IsStillRunning(vmProcess.get());
}

void CvmxPlayer::EndVm() {
    CloseFrame();
    if (playerProcess) EndProcess(playerProcess.get(), kPlayerExitWaitMs);
    CvmxVmware::EndVm();
}

}  // namespace holv
