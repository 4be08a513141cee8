#include "app/CanonicalPath.h"

#include <windows.h>

#include <cctype>
#include <cstring>
#include <vector>

#include "base/Text.h"
#include "base/Unique.h"

namespace holv {
namespace {

// Calls one of the "fill a buffer, or tell the size needed" path functions.
template <typename F>
std::string GrowingPathCall(F call) {
    std::vector<char> buf(MAX_PATH);
    for (int tries = 0; tries < 4; ++tries) {
        DWORD n = call(buf.data(), static_cast<DWORD>(buf.size()));
        if (n == 0) return {};
        if (n < buf.size()) return std::string(buf.data(), n);
        buf.resize(n + 1);
    }
    return {};
}

void RestoreComponentCase(std::string& path, size_t begin, size_t end) {
    if (end <= begin) return;
    WIN32_FIND_DATAA found;
    std::string upTo = path.substr(0, end);
    // A wildcard would make the lookup match some other entry.
    if (upTo.find_first_of("*?", begin) != std::string::npos) return;
    UniqueFind search(FindFirstFileA(upTo.c_str(), &found));
    if (!search) return;
    size_t n = end - begin;
    if (std::strlen(found.cFileName) == n) path.replace(begin, n, found.cFileName, n);
}

}  // namespace

std::string AbsoluteLongPath(const std::string& path) {
    std::string full = GrowingPathCall([&](char* b, DWORD n) { return GetFullPathNameA(path.c_str(), n, b, nullptr); });
    if (full.empty()) return path;
    std::string longName = GrowingPathCall([&](char* b, DWORD n) { return GetLongPathNameA(full.c_str(), b, n); });
    return longName.empty() ? full : longName;
}

std::string CanonicalizePath(const std::string& absolutePath) {
    std::string path = absolutePath;
    size_t pos = 0;
    if (path.size() >= 2 && std::isalpha(static_cast<unsigned char>(path[0])) && path[1] == ':') {
        path[0] = UpperAscii(path[0]);
        pos = 2;
    }
    while (pos <= path.size()) {
        size_t end = path.find('\\', pos);
        bool last = end == std::string::npos;
        if (last) end = path.size();
        RestoreComponentCase(path, pos, end);
        if (!last && end > 0) {
            // "C:" alone would mean the drive's current folder, not its root.
            std::string folder = path.substr(0, end);
            if (folder.size() == 2 && folder[1] == ':') folder += '\\';
            SetCurrentDirectoryA(folder.c_str());
        }
        if (last) break;
        pos = end + 1;
    }
    return path;
}

}  // namespace holv
