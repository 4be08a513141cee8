// What the end-to-end tests need around the real programs: start them, wait
// for them, answer their boxes, give them scratch files and registry keys,
// and make sure nothing they start or create outlives the test.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

#include "base/Unique.h"

namespace holv::e2e {

// ---- where the programs are ---------------------------------------------

// A host path ("/a/b") as Windows sees it under Wine ("Z:\a\b"); a Windows
// path is returned unchanged.
std::string ToWindowsPath(const std::string& path);
// HOLV_BIN in Windows form, without trailing backslash; empty if unset.
std::string BinDir();
// BinDir() + "\" + name.
std::string ProgramPath(const char* name);
bool FileExists(const std::string& path);
bool DirectoryExists(const std::string& path);

// True when the test runs in a prefix that is thrown away afterwards
// (scripts/wine-fresh.sh says so): only there may tests change the registry.
bool InThrowawayPrefix();

// ---- processes -------------------------------------------------------------

// One started program. The destructor kills it if it still runs, so no
// program outlives the test that started it.
class ChildProcess {
public:
    ChildProcess() = default;
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;
    ChildProcess(ChildProcess&&) noexcept = default;
    ~ChildProcess();

    // Starts "exe" args (the program's own path quoted). With captureOutput
    // its standard output is collected. Returns 0 or the Windows error.
    DWORD Start(const std::string& exe, const std::string& args, bool captureOutput = false);
    // Waits for the end; true with the exit code if it ended in time.
    bool Wait(DWORD timeoutMs, DWORD* exitCode);
    bool Running() const;
    // Terminates and reaps the process if it still runs.
    void Kill();

    DWORD pid() const { return pid_; }
    const std::string& output() const { return output_; }

private:
    void Drain();

    UniqueHandle process_;
    UniqueHandle outRead_;
    DWORD pid_ = 0;
    std::string output_;
};

// Runs a program to its end (killed after the time-out).
struct RunResult {
    bool ended = false;
    DWORD exitCode = 0;
    std::string output;
    DWORD startError = 0;
};
RunResult RunProgram(const std::string& exe, const std::string& args, DWORD timeoutMs);

// Waits for the end of a program that may show message boxes on its way:
// each box it shows is recorded and answered (OK, else Cancel, else Abort,
// else its default button), as a user would to get rid of it.
struct BoxSeen {
    std::string caption;
    std::string text;
    int pressed = 0;
};
struct EndResult {
    bool ended = false;
    DWORD exitCode = 0;
    std::vector<BoxSeen> boxes;
};
EndResult WaitAnsweringBoxes(ChildProcess& process, DWORD timeoutMs);

// Exit codes that mean the program crashed, not that it reported an error:
// NT status values of the error and warning classes (access violation,
// stack overflow, breakpoint, ...) and STATUS_FATAL_APP_EXIT.
bool IsCrashCode(DWORD code);
std::string DescribeExit(DWORD code);

// Turns Wine's crash dialog off, so that a crashing program ends with its
// exception code instead of waiting for a user. Throwaway prefixes only.
LONG DisableCrashDialog();

// ---- files -----------------------------------------------------------------

// A folder of its own under the Windows temp folder, removed with all its
// contents by the destructor.
class ScratchDir {
public:
    ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;
    ~ScratchDir();

    bool ok() const { return !path_.empty(); }
    const std::string& path() const { return path_; }
    std::string Join(const std::string& relative) const;
    // Writes the file (creating folders on the way); returns its full path,
    // empty on failure.
    std::string Write(const std::string& relative, const std::string& content) const;
    // Creates the folder (and its parents); returns its full path, empty on
    // failure.
    std::string MakeDir(const std::string& relative) const;

private:
    std::string path_;
};

// Removes a folder with everything in it; true if it is gone.
bool RemoveTree(const std::string& path);
std::string ReadFileText(const std::string& path);

// The smallest configuration file the program accepts.
std::string ValidVmx();

// ---- path forms --------------------------------------------------------------

// The 8.3 form from the file system; empty if it has none.
std::string ShortPathOf(const std::string& path);
// Full, long names, true letter case of every component, upper-case drive
// letter: the one form under which the program's instances know a file.
std::string CanonicalPathOf(const std::string& path);
// The same path with the case of every ASCII letter flipped.
std::string SwapCase(const std::string& path);

// ---- registry ----------------------------------------------------------------

// Deletes a key with all its subkeys; ERROR_SUCCESS also when it was absent.
LONG DeleteKeyTree(HKEY root, const char* subKey);

// The file association that makes the program believe a player is
// installed. A key left by a crashed earlier run is removed first; the
// destructor removes the whole tree again.
class ScopedPlayerAssociation {
public:
    explicit ScopedPlayerAssociation(const std::string& command);
    ScopedPlayerAssociation(const ScopedPlayerAssociation&) = delete;
    ScopedPlayerAssociation& operator=(const ScopedPlayerAssociation&) = delete;
    ~ScopedPlayerAssociation();
    LONG error() const { return error_; }

    static constexpr const char* kRoot = "VMware.Document";
    static constexpr const char* kCommandKey = "VMware.Document\\shell\\open\\command";

private:
    LONG error_ = ERROR_SUCCESS;
};

// ---- the program's own windows -------------------------------------------------

constexpr const char* kMainWindowClass = "RKHVTRAYICON";
// Titles of the program's main windows now present: for failure messages.
std::string DescribeMainWindows();

}  // namespace holv::e2e
