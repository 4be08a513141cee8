// The registry path of the appliance's "[reg]" action: root name, key path
// and value name, separated by backslashes. Windows-free: the path comes from
// the appliance and is parsed like any untrusted text.
#pragma once
#include <string>

namespace holv {

enum RegistryRoot : int {
    RootNone = 0,
    RootLocalMachine,
    RootCurrentUser,
    RootClassesRoot,
    RootCurrentConfig,
    RootUsers,
    RootPerformanceData,
};

// Short and long names, compared case-sensitively ("HKLM",
// "HKEY_LOCAL_MACHINE", ...); RootNone for any other text.
RegistryRoot RegistryRootFromName(const std::string& name);

struct RegistryPath {
    RegistryRoot root = RootNone;
    std::string key;    // between the first and the last backslash; may be empty
    std::string value;  // after the last backslash; empty: the key's default value
};

// False unless the path has at least two backslashes and a known root.
bool SplitRegistryPath(const char* text, RegistryPath* out);

}  // namespace holv
