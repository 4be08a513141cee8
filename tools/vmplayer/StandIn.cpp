#include "StandIn.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "TraceFile.h"

namespace holv::standin {
namespace {

// The programs whose unquoted path may hold blanks on their command line.
constexpr const char* kProgramNames[] = {"vmplayer.exe", "vmware.exe"};
constexpr size_t kTraceLineSize = 1024;

const char* SkipBlanks(const char* p) {
    while (*p == ' ' || *p == '\t') ++p;
    return p;
}

// Case-blind search for a stand-in's own name, as a whole word's end.
const char* FindProgramName(const char* text) {
    for (const char* p = text; *p; ++p) {
        for (const char* name : kProgramNames) {
            const size_t n = std::strlen(name);
            if (_strnicmp(p, name, n) == 0 && (p[n] == '\0' || p[n] == ' ' || p[n] == '\t' || p[n] == '"'))
                return p + n;
        }
    }
    return nullptr;
}

const char* SkipProgramPath(const char* p) {
    p = SkipBlanks(p);
    if (*p == '"') {
        const char* close = std::strchr(p + 1, '"');
        return close ? close + 1 : p + std::strlen(p);
    }
    if (const char* end = FindProgramName(p)) return end;
    while (*p && *p != ' ' && *p != '\t') ++p;
    return p;
}

std::string Trim(const std::string& s) {
    size_t b = s.find_first_not_of(" \t\r\n");
    if (b == std::string::npos) return {};
    size_t e = s.find_last_not_of(" \t\r\n");
    return s.substr(b, e - b + 1);
}

}  // namespace

std::string VmxPathFromCommandLine(const char* commandLine, std::string* options) {
    if (!commandLine) return {};
    const char* p = SkipBlanks(SkipProgramPath(commandLine));
    while (*p == '-') {
        const char* end = p;
        while (*end && *end != ' ' && *end != '\t') ++end;
        if (options) options->append(options->empty() ? "" : " ").append(p, end);
        p = SkipBlanks(end);
    }
    if (*p == '"') {
        const char* close = std::strchr(p + 1, '"');
        return close ? std::string(p + 1, close) : std::string(p + 1);
    }
    return Trim(p);
}

void Trace(const char* format, ...) {
    const char* path = std::getenv("HOLV_PLAYER_TRACE");
    if (!path || !*path) return;
    char line[kTraceLineSize];
    va_list args;
    va_start(args, format);
    int n = std::vsnprintf(line, sizeof line, format, args);
    va_end(args);
    if (n >= 0) AppendLine(path, line);
}

UniqueFile OpenVmLog(const std::string& path) {
    auto open = [&] {
        return UniqueFile(CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
    };
    UniqueFile log = open();
    DWORD attributes = GetFileAttributesA(path.c_str());
    if (log || attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_READONLY)) return log;
    // A read-only log (copied from media) is moved aside as the real player
    // rotates its logs; a log held open by a running VM stays busy.
    std::string older = path.substr(0, path.size() - 4) + "-0.log";
    SetFileAttributesA(older.c_str(), FILE_ATTRIBUTE_NORMAL);
    if (!MoveFileExA(path.c_str(), older.c_str(), MOVEFILE_REPLACE_EXISTING)) return log;
    return open();
}

void WriteVmLog(const UniqueFile& log, const std::string& text) {
    DWORD written = 0;
    WriteFile(log.get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    FlushFileBuffers(log.get());
}

std::string FirstLogLine(DWORD workerPid, const char* product) {
    static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                          "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    SYSTEMTIME now;
    GetLocalTime(&now);
    char line[200];
    std::snprintf(line, sizeof line, "%s %02u %02u:%02u:%02u.%03u| vmx| Log for %.60s pid=%lu version=stand-in\n",
                  kMonths[(now.wMonth + 11) % 12], now.wDay, now.wHour, now.wMinute, now.wSecond, now.wMilliseconds,
                  product, static_cast<unsigned long>(workerPid));
    return line;
}

}  // namespace holv::standin
