// Looking at a running player from outside, as the program does: the
// process list, the player's frame window, the log's first line, and bounded
// waits for what happens in another process.
#pragma once
#include <windows.h>
// after windows.h, which it needs
#include <tlhelp32.h>

#include <cstring>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "base/Unique.h"

namespace holv::test {

inline constexpr char kFrameClass[] = "VMPlayerFrame";
// A bound for failures, not an expectation: Wine can be slow to start things.
inline constexpr DWORD kPlayerWaitMs = 30000;

struct ProcessInfo {
    DWORD pid = 0;
    DWORD parent = 0;
    std::string exe;  // name without folder
};

inline std::vector<ProcessInfo> ProcessList() {
    std::vector<ProcessInfo> list;
    UniqueFile snap(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snap) return list;
    PROCESSENTRY32 entry{};
    entry.dwSize = sizeof entry;
    for (BOOL ok = Process32First(snap.get(), &entry); ok; ok = Process32Next(snap.get(), &entry)) {
        const char* slash = std::strrchr(entry.szExeFile, '\\');
        list.push_back({entry.th32ProcessID, entry.th32ParentProcessID, slash ? slash + 1 : entry.szExeFile});
    }
    return list;
}

inline std::optional<ProcessInfo> FindProcess(DWORD pid) {
    for (const ProcessInfo& p : ProcessList())
        if (p.pid == pid) return p;
    return std::nullopt;
}

inline std::vector<DWORD> ProcessesNamed(const char* exe) {
    std::vector<DWORD> pids;
    for (const ProcessInfo& p : ProcessList())
        if (lstrcmpiA(p.exe.c_str(), exe) == 0) pids.push_back(p.pid);
    return pids;
}

// True once the process has ended (or never existed), within the bound.
inline bool WaitProcessGone(DWORD pid, DWORD timeoutMs = kPlayerWaitMs) {
    UniqueHandle process(OpenProcess(SYNCHRONIZE, FALSE, pid));
    if (!process) return !FindProcess(pid).has_value();
    return WaitForSingleObject(process.get(), timeoutMs) == WAIT_OBJECT_0;
}

inline std::string ClassOf(HWND window) {
    char name[64] = {};
    GetClassNameA(window, name, sizeof name);
    return name;
}

// The top-level (desktop) "VMPlayerFrame" windows of a process.
inline std::vector<HWND> TopLevelFrames(DWORD pid) {
    struct Ctx {
        DWORD pid;
        std::vector<HWND> found;
    } ctx{pid, {}};
    EnumWindows(
        [](HWND w, LPARAM p) -> BOOL {
            auto* c = reinterpret_cast<Ctx*>(p);
            DWORD owner = 0;
            GetWindowThreadProcessId(w, &owner);
            if (owner == c->pid && ClassOf(w) == kFrameClass) c->found.push_back(w);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&ctx));
    return ctx.found;
}

inline DWORD WindowPid(HWND window) {
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    return pid;
}

inline bool FileThere(const std::string& path) {
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// Polls a condition until it holds or the bound runs out.
template <typename F>
bool WaitFor(F condition, DWORD timeoutMs = kPlayerWaitMs) {
    const DWORD start = GetTickCount();
    for (;;) {
        if (condition()) return true;
        if (GetTickCount() - start > timeoutMs) return false;
        Sleep(50);
    }
}

// The first line of a file that another process may hold open for writing.
inline std::string FirstLine(const std::string& path) {
    UniqueFile file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return {};
    char buffer[512];
    DWORD got = 0;
    if (!ReadFile(file.get(), buffer, sizeof buffer - 1, &got, nullptr)) return {};
    std::string text(buffer, got);
    return text.substr(0, text.find('\n'));
}

inline std::vector<std::string> FileLines(const std::string& path) {
    std::vector<std::string> lines;
    std::ifstream in(path);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

// Index of the first line starting with prefix at or after from; -1 if none.
inline int LineIndex(const std::vector<std::string>& lines, const std::string& prefix, int from = 0) {
    for (size_t i = static_cast<size_t>(from < 0 ? 0 : from); i < lines.size(); ++i)
        if (lines[i].compare(0, prefix.size(), prefix) == 0) return static_cast<int>(i);
    return -1;
}

// Ends, at the end of a test, every stand-in process that a failed test may
// have left: only this test's processes carry these names in its prefix.
inline void EndStrayPlayers() {
    for (const char* name : {"vmplayer.exe", "vmware-vmx.exe"}) {
        for (DWORD pid : ProcessesNamed(name)) {
            UniqueHandle process(OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, pid));
            if (!process) continue;
            TerminateProcess(process.get(), 1);
            WaitForSingleObject(process.get(), 5000);
        }
    }
}

}  // namespace holv::test
