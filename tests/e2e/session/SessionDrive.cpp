// session-drive: what the session tests do inside Wine that a shell script
// cannot: post commands to the running program's main window, show and read
// its Status box the way a user would, list the prefix's processes, read
// the rights the program's process grants everyone, and play a long-running
// command that an appliance action starts.
#include <windows.h>
// After windows.h, whose types they use.
#include <aclapi.h>
#include <sddl.h>
#include <tlhelp32.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "UiAuto.h"
#include "base/Unique.h"

using namespace holv;
using namespace holv::uiauto;

namespace {

// 0 done, 1 no main window, 2 usage, 3 no Status box, 4 box stayed open, 5 failed.
enum ExitCode { kOk, kNoWindow, kUsage, kNoBox, kBoxStuck, kFailed };

constexpr const char* kMainClass = "RKHVTRAYICON";
constexpr UINT kCmdStatus = 32774;
constexpr DWORD kWindowWaitMs = 30000, kBoxWaitMs = 120000, kBoxCloseMs = 10000, kHoldLimitMs = 300000;

int Usage() {
    std::fputs(
        "usage: session-drive post COMMAND [--title T]    WM_COMMAND to the main window\n"
        "       session-drive resume [--title T]          the system's \"resumed from sleep\" to the main window\n"
        "       session-drive status [--title T]          Status (32774): prints the box's text, presses OK\n"
        "       session-drive procs NAME                  ids of the processes named NAME, one a line\n"
        "       session-drive rights [--title T|--pid P]  the rights everyone has on the program's (or P's) process\n"
        "       session-drive hold PATH                   writes PATH, runs until it is gone (300 s at most)\n"
        "       session-drive key-dacl HKLM|HKCU\\KEY SDDL  gives the key that DACL (Wine checks it even for root)\n",
        stderr);
    return kUsage;
}

// The one instance this prefix runs; with a title, the one serving that file.
HWND MainWindow(const char* title) {
    return WaitTopWindow(WindowQuery{kMainClass, title, 0}, kWindowWaitMs);
}

const char* OptionValue(int argc, char** argv, const char* name) {
    for (int i = 0; i + 1 < argc; ++i)
        if (std::strcmp(argv[i], name) == 0) return argv[i + 1];
    return nullptr;
}

int Post(int argc, char** argv) {
    if (argc < 3) return Usage();
    HWND main = MainWindow(OptionValue(argc, argv, "--title"));
    if (!main) return kNoWindow;
    return PostMessageA(main, WM_COMMAND, std::strtoul(argv[2], nullptr, 0), 0) ? kOk : kFailed;
}

int Resume(int argc, char** argv) {
    HWND main = MainWindow(OptionValue(argc, argv, "--title"));
    if (!main) return kNoWindow;
    return PostMessageA(main, WM_POWERBROADCAST, PBT_APMRESUMEAUTOMATIC, 0) ? kOk : kFailed;
}

// A box left over from an earlier, interrupted call would be read instead of
// the new one: answer it first.
void CloseStaleBoxes(DWORD pid) {
    while (HWND old = FindMessageBox("Status", pid)) {
        PressButton(old, IDOK);
        if (!WaitWindowGone(old, kBoxCloseMs)) return;
    }
}

int Status(int argc, char** argv) {
    HWND main = MainWindow(OptionValue(argc, argv, "--title"));
    if (!main) return kNoWindow;
    DWORD pid = WindowProcessId(main);
    CloseStaleBoxes(pid);
    if (!PostMessageA(main, WM_COMMAND, kCmdStatus, 0)) return kFailed;
    // The box comes up only after the program's exchange with the
    // appliance, which may wait for answers that do not come.
    HWND box = WaitMessageBox("Status", pid, kBoxWaitMs);
    if (!box) return kNoBox;
    std::printf("%s\n", MessageBoxText(box).c_str());
    std::fflush(stdout);
    if (!PressButton(box, IDOK)) return kFailed;
    return WaitWindowGone(box, kBoxCloseMs) ? kOk : kBoxStuck;
}

int Procs(int argc, char** argv) {
    if (argc < 3) return Usage();
    UniqueFile snap(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snap) return kFailed;
    PROCESSENTRY32 entry{};
    entry.dwSize = sizeof entry;
    for (BOOL ok = Process32First(snap.get(), &entry); ok; ok = Process32Next(snap.get(), &entry)) {
        const char* base = std::strrchr(entry.szExeFile, '\\');
        base = base ? base + 1 : entry.szExeFile;
        if (lstrcmpiA(base, argv[2]) == 0) std::printf("%lu\n", entry.th32ProcessID);
    }
    return kOk;
}

// From the process's own access list: what the closed descriptor grants
// every local user. No list at all (everyone may do everything) fails.
int Rights(int argc, char** argv) {
    const char* pid = OptionValue(argc, argv, "--pid");
    HWND main = pid ? nullptr : MainWindow(OptionValue(argc, argv, "--title"));
    if (!pid && !main) return kNoWindow;
    UniqueHandle process(
        OpenProcess(READ_CONTROL, FALSE, pid ? std::strtoul(pid, nullptr, 10) : WindowProcessId(main)));
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!process || GetSecurityInfo(process.get(), SE_KERNEL_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &dacl,
                                    nullptr, &descriptor) != ERROR_SUCCESS)
        return kFailed;
    UniqueLocal owned(descriptor);
    if (!dacl) return kFailed;
    BYTE world[SECURITY_MAX_SID_SIZE];
    DWORD size = sizeof world, rights = 0;
    CreateWellKnownSid(WinWorldSid, nullptr, world, &size);
    for (DWORD i = 0; i < dacl->AceCount; ++i) {
        void* raw = nullptr;
        auto* ace = GetAce(dacl, i, &raw) ? static_cast<ACCESS_ALLOWED_ACE*>(raw) : nullptr;
        if (ace && ace->Header.AceType == ACCESS_ALLOWED_ACE_TYPE && EqualSid(&ace->SidStart, world))
            rights |= ace->Mask;
    }
    std::printf("0x%08lX\n", rights);
    return kOk;
}

int Hold(int argc, char** argv) {
    if (argc < 3) return Usage();
    const char* path = argv[2];
    {
        UniqueFile file(CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file) return kFailed;
        DWORD written = 0;
        WriteFile(file.get(), "held\r\n", 6, &written, nullptr);
    }
    DWORD start = GetTickCount();
    while (GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES) {
        if (GetTickCount() - start > kHoldLimitMs) return kFailed;
        Sleep(100);
    }
    return kOk;
}

int KeyDacl(int argc, char** argv) {
    if (argc < 4) return Usage();
    const std::string path = argv[2];
    const size_t slash = path.find('\\');
    if (slash == std::string::npos) return Usage();
    HKEY root = path.compare(0, slash, "HKCU") == 0 ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE;
    PSECURITY_DESCRIPTOR sd = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorA(argv[3], SDDL_REVISION_1, &sd, nullptr)) return kFailed;
    UniqueKey key;
    LSTATUS rc = RegOpenKeyExA(root, path.c_str() + slash + 1, 0, WRITE_DAC, key.put());
    if (rc == ERROR_SUCCESS) rc = RegSetKeySecurity(key.get(), DACL_SECURITY_INFORMATION, sd);
    LocalFree(sd);
    return rc == ERROR_SUCCESS ? kOk : kFailed;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return Usage();
    std::string command = argv[1];
    if (command == "post") return Post(argc, argv);
    if (command == "resume") return Resume(argc, argv);
    if (command == "status") return Status(argc, argv);
    if (command == "procs") return Procs(argc, argv);
    if (command == "rights") return Rights(argc, argv);
    if (command == "hold") return Hold(argc, argv);
    if (command == "key-dacl") return KeyDacl(argc, argv);
    return Usage();
}
