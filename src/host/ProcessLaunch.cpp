#include "host/ProcessLaunch.h"

#include <cstdio>
#include <vector>

#include "base/FilePtr.h"
#include "base/SystemFolder.h"
#include "base/Text.h"
#include "host/CommandProgram.h"
#include "host/ProcessSecurity.h"

namespace holv {
namespace {

// Expands %NAME% references into out (kExpandedSize bytes), cut to fit. The
// expansion runs into a large scratch buffer first, because the call leaves
// a too-small buffer without a usable result; when it fails altogether the
// text is used as it stands.
void ExpandReferences(const char* text, char (&out)[kExpandedSize]) {
    std::vector<char> scratch(32768);
    DWORD n = ::ExpandEnvironmentStringsA(text, scratch.data(), static_cast<DWORD>(scratch.size()));
    CopyText(out, (n == 0 || n > scratch.size()) ? text : scratch.data());
}

// Closes the thread, waits if asked, and gives the result of a started
// process: its exit code after a wait, else 0.
int FinishStarted(PROCESS_INFORMATION& info, int waitMs) {
    UniqueHandle process(info.hProcess);
    UniqueHandle thread(info.hThread);
    thread.reset();
    if (waitMs == kNoWait) return 0;
    ::WaitForSingleObject(process.get(), waitMs < 0 ? INFINITE : static_cast<DWORD>(waitMs));
    DWORD code = 0;
    if (!::GetExitCodeProcess(process.get(), &code)) return static_cast<int>(::GetLastError());
    return static_cast<int>(code);
}

// How long an ended command is given to be gone: ending is asynchronous,
// and the caller may go on to start the same tool again.
constexpr DWORD kEndedWaitMs = 5000;

// The bounded wait: the process is put into a job of its own before its
// first instruction (it was started suspended), so that on time-out it is
// ended together with whatever it started (cmd's command, a tool's helper)
// and nothing else. A program that runs in a job forbidding nesting cannot
// do this; then the process alone is ended.
int FinishBounded(PROCESS_INFORMATION& info, UniqueHandle job, int waitMs) {
    UniqueHandle process(info.hProcess);
    UniqueHandle thread(info.hThread);
    bool inJob = job && ::AssignProcessToJobObject(job.get(), process.get());
    if (job) ::ResumeThread(thread.get());
    thread.reset();
    if (::WaitForSingleObject(process.get(), static_cast<DWORD>(waitMs)) == WAIT_TIMEOUT) {
        if (!inJob || !::TerminateJobObject(job.get(), ERROR_TIMEOUT)) ::TerminateProcess(process.get(), ERROR_TIMEOUT);
        ::WaitForSingleObject(process.get(), kEndedWaitMs);
        return ERROR_TIMEOUT;
    }
    DWORD code = 0;
    if (!::GetExitCodeProcess(process.get(), &code)) return static_cast<int>(::GetLastError());
    return static_cast<int>(code);
}

bool IsFile(const std::string& path) {
    DWORD attributes = ::GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// The folders a bare program name is searched in: the system folder, the
// Windows folder, then the PATH entries that are absolute and are not the
// current folder (the VM's, which a standard user may fill).
std::vector<std::string> ProgramFolders() {
    std::vector<std::string> folders;
    std::string system = SystemFilePath("");
    if (!system.empty()) folders.push_back(system);
    char windows[MAX_PATH];
    UINT length = ::GetSystemWindowsDirectoryA(windows, MAX_PATH);
    if (length > 0 && length < MAX_PATH) folders.emplace_back(windows, length);
    std::string current = CurrentFolder();
    std::vector<char> path(32768);
    DWORD n = ::GetEnvironmentVariableA("PATH", path.data(), static_cast<DWORD>(path.size()));
    if (n == 0 || n >= path.size()) return folders;
    std::string list(path.data(), n);
    for (size_t start = 0; start <= list.size();) {
        size_t end = list.find(';', start);
        if (end == std::string::npos) end = list.size();
        std::string entry = list.substr(start, end - start);
        start = end + 1;
        if (entry.size() >= 2 && entry.front() == '"' && entry.back() == '"') entry = entry.substr(1, entry.size() - 2);
        if (IsAbsolutePath(entry) && !SameFolder(entry, current)) folders.push_back(entry);
    }
    return folders;
}

// The full path of the program the command line names, or empty when there
// is none the program may start: an absolute path as it stands (".exe"
// added when it has no extension), a bare name from ProgramFolders, never
// anything relative to the current folder.
std::string ResolveProgram(const std::string& word) {
    if (IsAbsolutePath(word)) {
        if (IsFile(word)) return word;
        std::string withExtension = WithProgramExtension(word);
        return IsFile(withExtension) ? withExtension : std::string();
    }
    if (!IsBareProgramName(word)) return std::string();
    std::string file = WithProgramExtension(word);
    for (std::string folder : ProgramFolders()) {
        if (folder.back() != '\\') folder += '\\';
        if (IsFile(folder + file)) return folder + file;
    }
    return std::string();
}

// The expanded command line with its program resolved: application (the
// full path) and line (the same path, quoted, as its first word, then the
// rest as it stands). ERROR_FILE_NOT_FOUND when no program may be started.
int PrepareCommand(const char* command, std::string& application, char (&line)[kExpandedSize]) {
    char expanded[kExpandedSize];
    ExpandReferences(command, expanded);
    std::string resolved;
    if (int rc = ResolveCommandLine(expanded, application, resolved)) return rc;
    CopyText(line, resolved.c_str());
    return 0;
}

// RunCommand after the formatting step; with bounded, RunCommandBounded's.
int RunFormatted(int waitMs, DWORD flags, const char* command, bool bounded = false) {
    std::string application;
    char line[kExpandedSize];
    if (int rc = PrepareCommand(command, application, line)) return rc;
    ProcessSecurity security;
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    UniqueHandle job(bounded ? ::CreateJobObjectA(nullptr, nullptr) : nullptr);
    if (!::CreateProcessA(application.c_str(), line, security.ProcessAttributes(), security.ThreadAttributes(), FALSE,
                          flags | (job ? CREATE_SUSPENDED : 0), nullptr, nullptr, &startup, &info)) {
        return static_cast<int>(::GetLastError());
    }
    if (bounded) return FinishBounded(info, std::move(job), waitMs);
    return FinishStarted(info, waitMs);
}

// True when the program's token carries an integrity level above medium.
bool RunsElevated() {
    UniqueHandle token;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, token.put())) return false;
    DWORD size = 0;
    ::GetTokenInformation(token.get(), TokenIntegrityLevel, nullptr, 0, &size);
    if (size == 0) return false;
    std::vector<BYTE> buffer(size);
    if (!::GetTokenInformation(token.get(), TokenIntegrityLevel, buffer.data(), size, &size)) {
        return false;
    }
    PSID sid = reinterpret_cast<TOKEN_MANDATORY_LABEL*>(buffer.data())->Label.Sid;
    UCHAR count = *::GetSidSubAuthorityCount(sid);
    if (count == 0) return false;
    return *::GetSidSubAuthority(sid, count - 1) > SECURITY_MANDATORY_MEDIUM_RID;
}

using CreateWithTokenFn = BOOL(WINAPI*)(HANDLE, DWORD, LPCWSTR, LPWSTR, DWORD, LPVOID, LPCWSTR, LPSTARTUPINFOW,
                                        LPPROCESS_INFORMATION);

// Not present before Vista, so looked up at run time.
CreateWithTokenFn FindCreateWithToken() {
    HMODULE advapi = ::GetModuleHandleA("advapi32.dll");
    if (!advapi) return nullptr;
    return reinterpret_cast<CreateWithTokenFn>(
        reinterpret_cast<void*>(::GetProcAddress(advapi, "CreateProcessWithTokenW")));
}

int RunWithToken(CreateWithTokenFn create, HANDLE token, int waitMs, DWORD flags, const char* command) {
    std::string application;
    char line[kExpandedSize];
    if (int rc = PrepareCommand(command, application, line)) return rc;
    wchar_t wide[kExpandedSize];
    wchar_t wideApplication[MAX_PATH * 2];
    if (!::MultiByteToWideChar(CP_ACP, 0, line, -1, wide, static_cast<int>(kExpandedSize)) ||
        !::MultiByteToWideChar(CP_ACP, 0, application.c_str(), -1, wideApplication, MAX_PATH * 2)) {
        return static_cast<int>(::GetLastError());
    }
    wchar_t folder[MAX_PATH];
    DWORD folderLength = ::GetCurrentDirectoryW(MAX_PATH, folder);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    if (!create(token, 0, wideApplication, wide, flags & ~static_cast<DWORD>(DETACHED_PROCESS), nullptr,
                (folderLength > 0 && folderLength < MAX_PATH) ? folder : nullptr, &startup, &info)) {
        return static_cast<int>(::GetLastError());
    }
    return FinishStarted(info, waitMs);
}

// A name "tmpXXXXXX" in the current folder, created empty so that no one
// else takes it before the command writes it.
bool MakeCaptureFile(char (&name)[16]) {
    static const char kDigits[] = "0123456789abcdefghijklmnopqrstuvwxyz";
    DWORD seed = ::GetCurrentProcessId() * 7919u + ::GetTickCount();
    for (int attempt = 0; attempt < 1000; ++attempt) {
        DWORD v = seed + static_cast<DWORD>(attempt) * 2654435761u;
        char suffix[7];
        for (int i = 0; i < 6; ++i) {
            suffix[i] = kDigits[v % 36];
            v /= 36;
        }
        suffix[6] = '\0';
        FormatText(name, sizeof name, "tmp%s", suffix);
        UniqueFile file(::CreateFileA(name, GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (file) return true;
        if (::GetLastError() != ERROR_FILE_EXISTS) return false;
    }
    ::SetLastError(ERROR_FILE_EXISTS);
    return false;
}

// The captured text, read in text mode; none when the file is empty or
// cannot be read.
std::optional<std::string> ReadCapture(const char* name) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!::GetFileAttributesExA(name, GetFileExInfoStandard, &data)) return std::nullopt;
    if (data.nFileSizeHigh != 0 || data.nFileSizeLow == 0) return std::nullopt;
    FilePtr f(std::fopen(name, "r"));
    if (!f) return std::nullopt;
    std::optional<std::string> text;
    try {
        std::string buffer(data.nFileSizeLow, '\0');
        buffer.resize(std::fread(buffer.data(), 1, buffer.size(), f.get()));
        text = std::move(buffer);
    } catch (...) {
        // Out of memory: the output stays none, as documented.
    }
    return text;
}

}  // namespace

int ResolveCommandLine(const char* commandLine, std::string& application, std::string& line) {
    CommandProgram program = SplitCommandProgram(commandLine);
    application = ResolveProgram(program.word);
    if (application.empty()) return ERROR_FILE_NOT_FOUND;
    line = "\"" + application + "\"" + (commandLine + program.rest);
    return 0;
}

int RunCommandV(int waitMs, DWORD flags, const char* format, va_list args) {
    char command[kCommandSize];
    FormatTextV(command, sizeof command, format, args);
    return RunFormatted(waitMs, flags, command);
}

int RunCommand(int waitMs, DWORD flags, const char* format, ...) {
    va_list args;
    va_start(args, format);
    int result = RunCommandV(waitMs, flags, format, args);
    va_end(args);
    return result;
}

int RunCommandBounded(int waitMs, DWORD flags, const char* format, ...) {
    char command[kCommandSize];
    va_list args;
    va_start(args, format);
    FormatTextV(command, sizeof command, format, args);
    va_end(args);
    return RunFormatted(waitMs, flags, command, true);
}

UniqueHandle GetDesktopUserToken() {
    if (!RunsElevated()) return UniqueHandle();
    HWND shell = ::FindWindowA("PROGMAN", nullptr);
    if (!shell) return UniqueHandle();
    DWORD pid = 0;
    ::GetWindowThreadProcessId(shell, &pid);
    UniqueHandle process(::OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, pid));
    if (!process) return UniqueHandle();
    UniqueHandle token;
    if (!::OpenProcessToken(process.get(), TOKEN_DUPLICATE, token.put())) return UniqueHandle();
    UniqueHandle primary;
    if (!::DuplicateTokenEx(token.get(), TOKEN_ALL_ACCESS, nullptr, SecurityImpersonation, TokenPrimary,
                            primary.put())) {
        return UniqueHandle();
    }
    return primary;
}

int RunCommandAsDesktopUser(int waitMs, DWORD flags, const char* format, ...) {
    char command[kCommandSize];
    va_list args;
    va_start(args, format);
    FormatTextV(command, sizeof command, format, args);
    va_end(args);
    CreateWithTokenFn create = FindCreateWithToken();
    UniqueHandle token = create ? GetDesktopUserToken() : UniqueHandle();
    if (!token) return RunFormatted(waitMs, flags, command);
    return RunWithToken(create, token.get(), waitMs, flags, command);
}

int RunCommandCaptured(std::optional<std::string>* out, const char* format, ...) {
    if (out) out->reset();
    char command[kCommandSize];
    va_list args;
    va_start(args, format);
    FormatTextV(command, sizeof command, format, args);
    va_end(args);

    char name[16];
    if (!MakeCaptureFile(name)) return static_cast<int>(::GetLastError());
    ScopeGuard removeFile([&name] { ::DeleteFileA(name); });

    char line[kCommandSize];
    FormatText(line, sizeof line, "\"%s\" /c \"%s>%s\"", SystemFilePath("cmd.exe").c_str(), command, name);
    int result = RunFormatted(kCaptureWaitMs, CREATE_NO_WINDOW, line, true);
    std::optional<std::string> text = ReadCapture(name);
    if (out) *out = std::move(text);
    return result;
}

}  // namespace holv
