#include "TraceFile.h"

#include <windows.h>

#include "base/Unique.h"

namespace holv::standin {

void AppendLine(const std::string& path, const std::string& text) {
    if (path.empty()) return;
    const std::string line = text + "\n";
    UniqueFile file(CreateFileA(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return;
    DWORD written = 0;
    WriteFile(file.get(), line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
}

}  // namespace holv::standin
