#include "host/ProcessList.h"

#include <tlhelp32.h>

#include <cstring>

#include "base/Unique.h"

namespace holv {

std::optional<ProcessEntry> FindProcessEntry(DWORD pid) {
    UniqueFile snap(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snap) return std::nullopt;
    PROCESSENTRY32 entry{};
    entry.dwSize = sizeof entry;
    for (BOOL ok = Process32First(snap.get(), &entry); ok; ok = Process32Next(snap.get(), &entry)) {
        if (entry.th32ProcessID == pid)
            return ProcessEntry{entry.th32ProcessID, entry.th32ParentProcessID, entry.szExeFile};
    }
    return std::nullopt;
}

std::optional<ProcessEntry> FindOwnChild(const char* exe) {
    UniqueFile snap(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snap) return std::nullopt;
    PROCESSENTRY32 entry{};
    entry.dwSize = sizeof entry;
    for (BOOL ok = Process32First(snap.get(), &entry); ok; ok = Process32Next(snap.get(), &entry)) {
        ProcessEntry e{entry.th32ProcessID, entry.th32ParentProcessID, entry.szExeFile};
        if (e.parentPid == GetCurrentProcessId() && ProcessRunsExe(e, exe)) return e;
    }
    return std::nullopt;
}

const char* ExeBaseName(const std::string& exeName) {
    const char* path = exeName.c_str();
    const char* slash = std::strrchr(path, '\\');
    return slash ? slash + 1 : path;
}

bool ProcessRunsExe(const ProcessEntry& entry, const char* exe) {
    return lstrcmpiA(ExeBaseName(entry.exeName), exe) == 0;
}

}  // namespace holv
