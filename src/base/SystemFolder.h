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

}  // namespace holv
