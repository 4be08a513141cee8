#include "host/RegistryPath.h"

namespace holv {

RegistryRoot RegistryRootFromName(const std::string& name) {
    static const struct {
        const char* shortName;
        const char* longName;
        RegistryRoot root;
    } kRoots[] = {
        {"HKLM", "HKEY_LOCAL_MACHINE", RootLocalMachine},
        {"HKCU", "HKEY_CURRENT_USER", RootCurrentUser},
        {"HKCR", "HKEY_CLASSES_ROOT", RootClassesRoot},
        {"HKCC", "HKEY_CURRENT_CONFIG", RootCurrentConfig},
        {"HKU", "HKEY_USERS", RootUsers},
        {"HKPD", "HKEY_PERFORMANCE_DATA", RootPerformanceData},
    };
    for (const auto& r : kRoots) {
        if (name == r.shortName || name == r.longName) return r.root;
    }
    return RootNone;
}

bool SplitRegistryPath(const char* text, RegistryPath* out) {
    if (!text) return false;
    std::string path(text);
    size_t first = path.find('\\');
    size_t last = path.rfind('\\');
    if (first == std::string::npos || first == last) return false;
    RegistryRoot root = RegistryRootFromName(path.substr(0, first));
    if (root == RootNone) return false;
    out->root = root;
    out->key = path.substr(first + 1, last - first - 1);
    out->value = path.substr(last + 1);
    return true;
}

}  // namespace holv
