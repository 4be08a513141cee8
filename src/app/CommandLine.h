// The verbs of the command line and the configuration path that follows them.
// Windows-free, so the grammar is tested natively and fuzzed.
#pragma once
#include <string>

namespace holv {

enum VerbIndex {
    VerbStart,
    VerbStop,
    VerbInstall,
    VerbRemove,
    VerbExit,
    VerbXstatus,
    VerbBrowse,
    VerbCleanup,  // the uninstaller's: undo the host-change journal and end
    VerbCount
};

struct Verb {
    const char* name;
    bool takesValue;
    bool seen;
    int value;
};

// Fixed order: a word matches the first verb whose whole name it begins with.
struct VerbTable {
    Verb verbs[VerbCount] = {
        {"start", false, false, 0},  {"stop", false, false, 0},    {"install", false, false, 0},
        {"remove", false, false, 0}, {"exit", false, false, 0},    {"xstatus", true, false, 0},
        {"browse", false, false, 0}, {"cleanup", false, false, 0},
    };
    bool Seen(VerbIndex v) const { return verbs[v].seen; }
};

inline constexpr const char* kDefaultConfigName = "Holvenstead.vmx";

// Scans the command line (without the program's own name). Returns the path:
// the rest of the line after the verbs, spaces kept, without the quotes of
// a path quoted whole; or the default name when there is none.
std::string ParseCommandLine(const char* line, VerbTable& table);

// "Global\" + path, lower-cased with '/' for '\' after the prefix: one name
// per file however the path was spelt.
std::string InstanceMutexName(const std::string& canonicalPath);

}  // namespace holv
