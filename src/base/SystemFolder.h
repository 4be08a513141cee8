// The system's own programs and libraries, by full path. The program runs
// elevated (and as the service, as LocalSystem) with the VM's folder as its
// current folder; a name searched for the usual way may be found there, in a
// folder a standard user can write, before the system's copy.
#pragma once
#include <windows.h>

#include <string>

namespace holv {

// "<system folder>\<name>", e.g. C:\Windows\system32\cmd.exe; empty when the
// system folder cannot be had.
std::string SystemFilePath(const char* name);

// A library of the system folder, never one found elsewhere by its name; null
// (with the system's error) when it is not there.
HMODULE LoadSystemLibrary(const char* name);

// Libraries a name is given for come from the system folder alone, never
// from the program's or the current folder: called first thing in the entry
// point. Looked up at run time, as an unpatched Windows 7 has no such call
// (there every library is loaded by full path anyway).
void RestrictLibrarySearch();

// The current folder (the VM's once a VM is open), empty when it cannot be
// had whole.
std::string CurrentFolder();

// The folder of the running program's own file, without a trailing
// backslash; empty when it cannot be had whole.
std::string ProgramFolder();

}  // namespace holv
