// Which program a command line names. The program runs elevated with the
// VM's folder as its current folder, so it never lets CreateProcess search
// for the program: it names the file itself, and only from folders a
// standard user cannot fill. Windows-free, built natively and tested there.
#pragma once
#include <cstddef>
#include <string>

namespace holv {

// The first word of a command line as CreateProcess and the C runtime read
// argv[0]: from a leading '"' up to the next '"', else up to the first blank
// or tab. rest is the offset of what follows the word (its separating blank
// included); the word is empty for a blank line.
struct CommandProgram {
    std::string word;
    size_t rest = 0;
};
CommandProgram SplitCommandProgram(const char* commandLine);

// "X:\..." or "\\server\share\...": one file whatever the current folder is.
bool IsAbsolutePath(const std::string& path);

// A name without drive or folder ("cmd", "route.exe"): the only form that is
// searched for. Anything else that is not absolute (".\x", "sub\x", "X:x")
// would be found from the current folder and is never started.
bool IsBareProgramName(const std::string& name);

// The name as a file: ".exe" appended when its last part has no extension
// (CreateProcess adds none once it is given the application name).
std::string WithProgramExtension(const std::string& name);

// Two folder paths naming the same folder: ASCII case and trailing
// backslashes ignored.
bool SameFolder(const std::string& a, const std::string& b);

}  // namespace holv
