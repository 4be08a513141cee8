// Starting other programs: as the program's own (elevated) user, as the user
// who owns the desktop, or through the command interpreter with the output
// captured. Each takes a printf-style format for the command line.
//
// Result of RunCommand and RunCommandAsDesktopUser: the Windows error when
// the process could not be started; 0 when it was started without a wait;
// else its exit code after the wait (259, still active, when the wait timed
// out).
#pragma once
#include <windows.h>

#include <cstdarg>
#include <optional>
#include <string>

#include "base/Unique.h"

namespace holv {

inline constexpr int kWaitForever = -1;
inline constexpr int kNoWait = 0;
// The captured command's bound. Its one use is VirtualBox's adapter listing,
// which may first have to start VirtualBox's service.
inline constexpr int kCaptureWaitMs = 60000;
// The formatted command line is cut to 1023 characters, and so is the text
// after its %NAME% references are expanded.
inline constexpr size_t kCommandSize = 1024;
inline constexpr size_t kExpandedSize = 1024;

// The program a command line names, resolved as every Run* function does:
// an absolute path as it stands, a bare name from the system folder, the
// Windows folder or an absolute PATH entry other than the current folder.
// application gets its full path, line the command line with that path,
// quoted, as its first word. ERROR_FILE_NOT_FOUND when no program may be
// started.
int ResolveCommandLine(const char* commandLine, std::string& application, std::string& line);

int RunCommand(int waitMs, DWORD flags, const char* format, ...) __attribute__((format(printf, 3, 4)));
int RunCommandV(int waitMs, DWORD flags, const char* format, va_list args);

// As RunCommand waiting at most waitMs (> 0); a command still running then
// is ended together with the programs it started, and the result is 1460
// (ERROR_TIMEOUT). For tools that can hang on a service of theirs: the
// caller is the one UI thread, and a wait without end would freeze it.
int RunCommandBounded(int waitMs, DWORD flags, const char* format, ...) __attribute__((format(printf, 3, 4)));

// With the desktop user's token when the program runs elevated and the
// desktop shell's token can be had; otherwise the same as RunCommand
// (DETACHED_PROCESS is dropped only on the token path).
int RunCommandAsDesktopUser(int waitMs, DWORD flags, const char* format, ...) __attribute__((format(printf, 3, 4)));

// A primary token of the user who owns the desktop shell ("PROGMAN"), or an
// empty handle when the program is not elevated or the shell is not there.
UniqueHandle GetDesktopUserToken();

// Runs "cmd /c \"<command>><temporary file>\"" and waits for it as
// RunCommandBounded does, at most kCaptureWaitMs. out (may be null) receives
// the output (CR LF folded to LF), or none when there was none. Returns
// RunCommandBounded's result. The temporary file, "tmpXXXXXX" in the
// current folder, is removed on every path.
int RunCommandCaptured(std::optional<std::string>* out, const char* format, ...) __attribute__((format(printf, 2, 3)));

}  // namespace holv
