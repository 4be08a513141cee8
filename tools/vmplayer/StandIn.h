// What the player stand-in and its VM worker share: reading their command
// lines, the trace that tests follow, and the simulated appliance's power
// switch (a file whose existence means "the VM runs").
#pragma once
#include <windows.h>

#include <string>

namespace holv::standin {

inline constexpr char kWorkerName[] = "vmware-vmx.exe";

// The VM file named on a player command line: the program's own path is
// skipped (quoted, or unquoted up to "vmplayer.exe" so that blanks in it do
// no harm), then the rest is the path: quoted, or as written (blanks
// included) when the association put %1 there without quotes.
std::string VmxPathFromCommandLine(const char* commandLine);

// The path up to and including its last '\' (empty without one).
std::string FolderOf(const std::string& path);
// The part after the last '\'.
std::string FileNameOf(const std::string& path);

// The value of key in a VM file (key = "value", key compared ignoring case),
// empty when absent.
std::string ReadVmxKey(const std::string& vmxPath, const char* key);

// The power file: HOLV_SIM_POWER_FILE, else the VM file's
// "simulator.powerFile"; empty when neither names one.
std::string PowerFilePath(const std::string& vmxPath);
// Creates the power file naming its owner (the player's process id).
bool PowerOn(const std::string& path, DWORD owner);
// Deletes the power file if the owner created it: a later start of the same
// VM made its own file, which an old worker must not take away.
bool PowerOff(const std::string& path, DWORD owner);

// Appends one line (printf format, newline added) to HOLV_PLAYER_TRACE, if
// set. Opened for each line, so a test may read the file at any time.
void Trace(const char* format, ...) __attribute__((format(printf, 1, 2)));

// The log's first line as the player writes it: time, then " pid=" with the
// worker's process id, which is what the program looks for.
std::string FirstLogLine(DWORD workerPid);

}  // namespace holv::standin
