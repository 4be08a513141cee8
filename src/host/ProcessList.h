// The processes of the machine as one snapshot shows them: who runs, under
// which executable, started by whom.
#pragma once
#include <windows.h>

#include <optional>
#include <string>

namespace holv {

struct ProcessEntry {
    DWORD pid = 0;
    DWORD parentPid = 0;
    std::string exeName;  // as the snapshot gives it (a name, or a path on some systems)
};

// The snapshot's entry of the process; none when it is not running or no
// snapshot can be had.
std::optional<ProcessEntry> FindProcessEntry(DWORD pid);

// A process of ours (its parent is this process) that runs `exe`: the one we
// started, not a namesake someone else started.
std::optional<ProcessEntry> FindOwnChild(const char* exe);

// The executable's name after its last '\'.
const char* ExeBaseName(const std::string& exeName);

// True when the process runs the executable `exe` (its name after the last
// '\', compared ignoring case).
bool ProcessRunsExe(const ProcessEntry& entry, const char* exe);

}  // namespace holv
