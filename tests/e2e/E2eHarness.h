// What the end-to-end tests need around the real programs: start them, wait
// for them, answer their boxes, give them a scratch folder and registry keys,
// and make sure nothing they start or create outlives the test.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

#include "base/Unique.h"

namespace holv::e2e {

// A host path ("/a/b") as Wine shows it ("Z:\a\b"); others unchanged.
std::string ToWindowsPath(const std::string& path);
// HOLV_BIN (the build's bin folder, Windows form) + "\" + name.
std::string ProgramPath(const char* name);
bool FileExists(const std::string& path);
// Only in a prefix thrown away afterwards (scripts/wine-fresh.sh, the
// network test bed) may tests change the registry.
bool InThrowawayPrefix();

// One started program; the destructor kills it if it still runs.
class ChildProcess {
public:
    ChildProcess() = default;
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;
    ~ChildProcess() { Kill(); }
    // Starts "exe" args; 0 or the Windows error.
    DWORD Start(const std::string& exe, const std::string& args);
    // True with the exit code if it ended within the bound.
    bool Wait(DWORD timeoutMs, DWORD* exitCode);
    bool Running() const;
    void Kill();
    DWORD pid() const { return pid_; }

private:
    UniqueHandle process_;
    DWORD pid_ = 0;
};

// Runs a program to its end (killed after the bound).
struct RunResult {
    bool ended = false;
    DWORD exitCode = 0;
};
RunResult RunProgram(const std::string& exe, const std::string& args, DWORD timeoutMs);

// The exit code, and whether it is a crash (an NT status of the warning or
// error class, or STATUS_FATAL_APP_EXIT) rather than a reported error.
std::string DescribeExit(DWORD code);
// Wine's crash dialog off: a crash ends with its code (throwaway prefixes).
LONG DisableCrashDialog();

// The one scratch folder of the tests: under the temp folder, removed with
// its contents by the destructor.
class ScratchDir {
public:
    ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;
    ~ScratchDir();
    bool ok() const { return !path_.empty(); }
    const std::string& path() const { return path_; }
    std::string Join(const std::string& relative) const { return path_ + "\\" + relative; }
    // Writes the file, making its folders; its full path, empty on failure.
    std::string Write(const std::string& relative, const std::string& content) const;

private:
    std::string path_;
};

std::string ReadFileText(const std::string& path);
// Writes the whole file (made or emptied first); false on failure.
bool WriteFileText(const std::string& path, const std::string& text);
// The smallest configuration file the program accepts.
std::string ValidVmx();

constexpr const char* kMainWindowClass = "RKHVTRAYICON";

}  // namespace holv::e2e
