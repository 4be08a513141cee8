#include "StandIn.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "base/Unique.h"

namespace holv::standin {
namespace {

constexpr char kPlayerName[] = "vmplayer.exe";
constexpr size_t kTraceLineSize = 1024;
constexpr size_t kPowerTextSize = 64;

const char* SkipBlanks(const char* p) {
    while (*p == ' ' || *p == '\t') ++p;
    return p;
}

// Case-blind search for the player's own name, as a whole word's end.
const char* FindPlayerName(const char* text) {
    const size_t n = std::strlen(kPlayerName);
    for (const char* p = text; *p; ++p) {
        if (_strnicmp(p, kPlayerName, n) == 0 && (p[n] == '\0' || p[n] == ' ' || p[n] == '\t' || p[n] == '"'))
            return p + n;
    }
    return nullptr;
}

const char* SkipProgramPath(const char* p) {
    p = SkipBlanks(p);
    if (*p == '"') {
        const char* close = std::strchr(p + 1, '"');
        return close ? close + 1 : p + std::strlen(p);
    }
    if (const char* end = FindPlayerName(p)) return end;
    while (*p && *p != ' ' && *p != '\t') ++p;
    return p;
}

std::string Trim(const std::string& s) {
    size_t b = s.find_first_not_of(" \t\r\n");
    if (b == std::string::npos) return {};
    size_t e = s.find_last_not_of(" \t\r\n");
    return s.substr(b, e - b + 1);
}

std::string ReadSmallFile(const std::string& path, size_t limit) {
    UniqueFile file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return {};
    std::string text(limit, '\0');
    DWORD got = 0;
    if (!ReadFile(file.get(), text.data(), static_cast<DWORD>(limit), &got, nullptr)) return {};
    text.resize(got);
    return text;
}

std::string PowerText(DWORD owner) {
    return "on pid=" + std::to_string(owner) + "\n";
}

}  // namespace

std::string VmxPathFromCommandLine(const char* commandLine) {
    if (!commandLine) return {};
    const char* p = SkipBlanks(SkipProgramPath(commandLine));
    if (*p == '"') {
        const char* close = std::strchr(p + 1, '"');
        return close ? std::string(p + 1, close) : std::string(p + 1);
    }
    return Trim(p);
}

std::string FolderOf(const std::string& path) {
    size_t slash = path.rfind('\\');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string FileNameOf(const std::string& path) {
    size_t slash = path.rfind('\\');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string ReadVmxKey(const std::string& vmxPath, const char* key) {
    // VM files are small; a bound keeps a wrong argument from eating memory.
    const std::string text = ReadSmallFile(vmxPath, 1 << 20);
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        const std::string line = text.substr(start, end - start);
        start = end + 1;
        size_t eq = line.find('=');
        if (eq == std::string::npos || _stricmp(Trim(line.substr(0, eq)).c_str(), key) != 0) continue;
        std::string value = Trim(line.substr(eq + 1));
        if (value.size() >= 2 && value.front() == '"' && value.back() == '"') value = value.substr(1, value.size() - 2);
        return value;
    }
    return {};
}

std::string PowerFilePath(const std::string& vmxPath) {
    const char* env = std::getenv("HOLV_SIM_POWER_FILE");
    if (env && *env) return env;
    return ReadVmxKey(vmxPath, "simulator.powerFile");
}

bool PowerOn(const std::string& path, DWORD owner) {
    if (path.empty()) return false;
    UniqueFile file(CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                                CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return false;
    const std::string text = PowerText(owner);
    DWORD written = 0;
    return WriteFile(file.get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
           written == text.size();
}

bool PowerOff(const std::string& path, DWORD owner) {
    if (path.empty()) return false;
    if (ReadSmallFile(path, kPowerTextSize) != PowerText(owner)) return false;
    return DeleteFileA(path.c_str()) != 0;
}

void Trace(const char* format, ...) {
    const char* path = std::getenv("HOLV_PLAYER_TRACE");
    if (!path || !*path) return;
    char line[kTraceLineSize];
    va_list args;
    va_start(args, format);
    int n = std::vsnprintf(line, sizeof line - 1, format, args);
    va_end(args);
    if (n < 0) return;
    size_t len = static_cast<size_t>(n) < sizeof line - 2 ? static_cast<size_t>(n) : sizeof line - 2;
    line[len++] = '\n';
    // Both processes append to the same file: one write a line keeps lines whole.
    UniqueFile file(CreateFileA(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return;
    DWORD written = 0;
    WriteFile(file.get(), line, static_cast<DWORD>(len), &written, nullptr);
}

std::string FirstLogLine(DWORD workerPid) {
    static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                          "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    SYSTEMTIME now;
    GetLocalTime(&now);
    char line[160];
    std::snprintf(line, sizeof line,
                  "%s %02u %02u:%02u:%02u.%03u| vmx| Log for VMware Player stand-in pid=%lu version=stand-in\n",
                  kMonths[(now.wMonth + 11) % 12], now.wDay, now.wHour, now.wMinute, now.wSecond, now.wMilliseconds,
                  static_cast<unsigned long>(workerPid));
    return line;
}

}  // namespace holv::standin
