// Files the stand-ins read and write whole: settings, traces, the power file,
// machine files. All small, so a bound on every read keeps a wrong path from
// eating memory.
#pragma once
#include <windows.h>

#include <string>

namespace holv::standin {

inline constexpr size_t kSmallFileLimit = 1 << 20;

// The file's first `limit` bytes; empty when it cannot be read.
std::string ReadSmallFile(const std::string& path, size_t limit = kSmallFileLimit);
// Replaces the file's contents; false if it could not be written whole.
bool WriteSmallFile(const std::string& path, const std::string& text);
bool PathExists(const std::string& path);

// The path up to and including its last '\' (empty without one).
std::string FolderOf(const std::string& path);
// The part after the last '\'.
std::string FileNameOf(const std::string& path);
// The folder of the module (exe or DLL) this code is linked into, with its
// trailing '\': a stand-in DLL finds its settings beside itself, not beside
// the program that loaded it.
std::string ModuleFolder();

}  // namespace holv::standin
