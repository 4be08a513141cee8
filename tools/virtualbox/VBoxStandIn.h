// What every VirtualBox stand-in shares: its settings file, the trace of
// command lines, the knobs that make a command block or fail, and where the
// VM's files and the simulated appliance's power file are.
#pragma once
#include <string>

#include "KeyValueFile.h"

namespace holv::vbox {

struct StandInSettings {
    std::string configPath;  // HOLV_VBOX_CONFIG, else vbox-standin.conf beside the stand-in
    std::string tracePath;   // "trace=", else vbox-trace.txt beside the stand-in
    standin::KeyValues values;
};

StandInSettings LoadSettings();

// What every invocation does first: appends the command line exactly as
// received to the trace, then waits while "block.WORD" names a file that is
// not there yet, then applies "fail.WORD" (and "fail-times.WORD"). Returns
// the exit code to end with now, or -1 to carry on. WORD is the VBoxManage
// subcommand, or the stand-in's own name (VBoxHeadless, VBoxSDL, VBoxSVC,
// VBoxC).
int BeginInvocation(const StandInSettings& settings, const std::string& word, const char* commandLine);

// The folder VirtualBox keeps its settings and "Machines" in:
// VBOX_USER_HOME, else the current folder; with a trailing '\'.
std::string VBoxHome();

// HOLV_SIM_POWER_FILE, else "power-file=", else "simulator.powerFile" in
// the VM's VMware configuration "<vm>.vmx" of the current folder, which the
// VirtualBox VM is made from; empty when none names one.
std::string PowerFileFor(const StandInSettings& settings, const std::string& vmName);

// Writes text to the standard output or error as it is (the program reads
// the listing through a pipe).
void Print(const std::string& text);
void PrintError(const std::string& text);

}  // namespace holv::vbox
