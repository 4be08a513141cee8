#include "host/CommandProgram.h"

#include "base/Text.h"

namespace holv {

CommandProgram SplitCommandProgram(const char* commandLine) {
    CommandProgram result;
    const char* p = commandLine ? commandLine : "";
    while (*p == ' ' || *p == '\t') ++p;
    const char* start = p;
    if (*p == '"') {
        const char* end = ++p;
        while (*end && *end != '"') ++end;
        result.word.assign(p, end);
        if (*end == '"') ++end;
        result.rest = static_cast<size_t>(end - commandLine);
        return result;
    }
    while (*p && *p != ' ' && *p != '\t') ++p;
    result.word.assign(start, p);
    result.rest = static_cast<size_t>(p - (commandLine ? commandLine : p));
    return result;
}

bool IsAbsolutePath(const std::string& path) {
    auto slash = [](char c) { return c == '\\' || c == '/'; };
    if (path.size() >= 3 && ((path[0] | 0x20) >= 'a' && (path[0] | 0x20) <= 'z') && path[1] == ':' && slash(path[2]))
        return true;
    // "\\server\share": a UNC path. "\x" alone is relative to the current
    // drive, which is the VM's.
    return path.size() >= 3 && slash(path[0]) && slash(path[1]) && !slash(path[2]);
}

bool IsBareProgramName(const std::string& name) {
    return !name.empty() && name.find_first_of("\\/:") == std::string::npos && name != "." && name != "..";
}

std::string WithProgramExtension(const std::string& name) {
    size_t lastPart = name.find_last_of("\\/");
    size_t dot = name.rfind('.');
    bool hasExtension = dot != std::string::npos && (lastPart == std::string::npos || dot > lastPart);
    return hasExtension ? name : name + ".exe";
}

bool SameFolder(const std::string& a, const std::string& b) {
    size_t na = a.find_last_not_of("\\/");
    size_t nb = b.find_last_not_of("\\/");
    na = na == std::string::npos ? 0 : na + 1;
    nb = nb == std::string::npos ? 0 : nb + 1;
    return na == nb && CompareNoCase(a.c_str(), b.c_str(), na) == 0;
}

}  // namespace holv
