#include "app/CommandLine.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "base/Text.h"

namespace holv {
namespace {

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f'; }

const char* SkipWord(const char* p) {
    while (*p && !IsSpace(*p)) ++p;
    while (*p && IsSpace(*p)) ++p;
    return p;
}

// Leading sign and digits, as atoi reads them, but saturated instead of
// overflowing: a port of 99999999999 must not be undefined behaviour.
int ReadDecimal(const char* p) {
    errno = 0;
    long long v = std::strtoll(p, nullptr, 10);
    if (v > INT_MAX) return INT_MAX;
    if (v < INT_MIN) return INT_MIN;
    return static_cast<int>(v);
}

Verb* MatchVerb(const char* word, VerbTable& table) {
    for (Verb& verb : table.verbs) {
        size_t n = std::strlen(verb.name);
        if (std::strlen(word) >= n && CompareNoCase(word, verb.name, n) == 0) return &verb;
    }
    return nullptr;
}

// A path quoted whole, as a shortcut, a file association ("%1") or Wine's
// launcher passes one with blanks, loses its quotes: no file name can hold a
// '"', so as it stands such a text could never name a file. Anything else is
// the path as it is, blanks and all.
std::string PathOf(const char* rest) {
    std::string path(rest);
    size_t last = path.find_last_not_of(" \t\r\n\v\f");
    if (path[0] == '"' && last > 1 && path[last] == '"' && path.find('"', 1) == last) return path.substr(1, last - 1);
    return path;
}

}  // namespace

std::string ParseCommandLine(const char* line, VerbTable& table) {
    const char* p = line ? line : "";
    while (*p && IsSpace(*p)) ++p;  // the runtime may leave blanks after the program name
    Verb* awaiting = nullptr;
    while (*p) {
        if (awaiting) {
            awaiting->value = ReadDecimal(p);
            awaiting = nullptr;
        } else if (*p == '-') {
            Verb* verb = MatchVerb(p + 1, table);
            if (verb) {
                verb->seen = true;
                if (verb->takesValue) awaiting = verb;
            }
        } else {
            return PathOf(p);
        }
        p = SkipWord(p);
    }
    return kDefaultConfigName;
}

std::string InstanceMutexName(const std::string& canonicalPath) {
    static const char kPrefix[] = "Global\\";
    std::string name = kPrefix + canonicalPath;
    for (size_t i = sizeof kPrefix - 1; i < name.size(); ++i) {
        char c = name[i];
        name[i] = c == '\\' ? '/' : LowerAscii(c);
    }
    return name;
}

}  // namespace holv
