#include "session/VmxFileConnection.h"

#include <cstring>

#include "session/VmxFile.h"

namespace holv {
namespace {
const char* const kConnectionTypes[kConnectionTypeCount] = {"bridged", "nat", "hostonly", "custom"};
}

const char* ConnectionTypeText(int index) {
    if (index < 0 || index >= kConnectionTypeCount) return nullptr;
    return kConnectionTypes[index];
}

int GetConnectionType(const std::string& path) {
    std::optional<std::string> value = ReadVmxValue(path, kConnectionTypeKey);
    if (!value) return 0;
    for (int i = 0; i < kConnectionTypeCount; ++i) {
        if (*value == kConnectionTypes[i]) return i;
    }
    return 0;
}

int SetConnectionType(const std::string& path, int index) {
    const char* text = ConnectionTypeText(index);
    if (!text) return 0;
    return WriteVmxValue(path, kConnectionTypeKey, text);
}

}  // namespace holv
