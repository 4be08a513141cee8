// What the VMware player and workstation stand-ins and their VM worker share
// beyond tools/standin-common (power file, small files): their command
// lines, the trace that tests follow, and the VM's log.
#pragma once
#include <windows.h>

#include <string>

#include "PowerFile.h"
#include "SmallFile.h"
#include "base/Unique.h"

namespace holv::standin {

inline constexpr char kWorkerName[] = "vmware-vmx.exe";

// The VM file named on a player or workstation command line: the program's
// own path is skipped (quoted, or unquoted up to "vmplayer.exe" or
// "vmware.exe" so that blanks in it do no harm), then the words that start
// with '-' (handed out through options, blank-separated, if given), then the
// rest is the path: quoted, or as written (blanks included) when the
// association put %1 there without quotes.
std::string VmxPathFromCommandLine(const char* commandLine, std::string* options = nullptr);

// Appends one line (printf format, newline added) to HOLV_PLAYER_TRACE, if
// set. Opened for each line, so a test may read the file at any time.
void Trace(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Creates (or truncates) the VM's log and holds it with read sharing only:
// the program may read the pid while the VM runs, but its delete fails, and
// that is how it tells a running VM from a stopped one. Fails (with the
// system's error, 32 when another VM holds it) if the log cannot be had.
UniqueFile OpenVmLog(const std::string& path);
// Appends text to the held log and flushes it: others read it while it stays open.
void WriteVmLog(const UniqueFile& log, const std::string& text);

// The log's first line as the VM's writer writes it: time, then " pid="
// with the worker's process id, which is what the program looks for.
// product names the stand-in ("VMware Player stand-in").
std::string FirstLogLine(DWORD workerPid, const char* product);

}  // namespace holv::standin
