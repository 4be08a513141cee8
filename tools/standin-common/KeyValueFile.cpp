#include "KeyValueFile.h"

#include <cstdlib>
#include <cstring>

namespace holv::standin {
namespace {

std::string Trim(const std::string& s) {
    size_t b = s.find_first_not_of(" \t");
    if (b == std::string::npos) return {};
    return s.substr(b, s.find_last_not_of(" \t") - b + 1);
}

}  // namespace

std::string Unescape(const std::string& value) {
    std::string out;
    for (size_t i = 0; i < value.size(); ++i) {
        const char next = i + 1 < value.size() ? value[i + 1] : '\0';
        const char* known = "\\nrt";
        const char* found = value[i] == '\\' && next ? std::strchr(known, next) : nullptr;
        if (!found) {
            out += value[i];
            continue;
        }
        out += "\\\n\r\t"[found - known];
        ++i;
    }
    return out;
}

KeyValues ParseKeyValues(const std::string& text) {
    KeyValues values;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        start = end + 1;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        const size_t eq = line.find('=');
        const std::string key = Trim(line.substr(0, eq));
        if (eq == std::string::npos || key.empty() || key[0] == '#') continue;
        values[key] = line.substr(eq + 1);
    }
    return values;
}

std::string ValueOr(const KeyValues& values, const std::string& key, const std::string& fallback) {
    auto it = values.find(key);
    return it == values.end() ? fallback : it->second;
}

long NumberOr(const KeyValues& values, const std::string& key, long fallback) {
    const std::string text = Trim(ValueOr(values, key));
    if (text.empty()) return fallback;
    char* end = nullptr;
    const long n = std::strtol(text.c_str(), &end, 0);
    return *end == '\0' ? n : fallback;
}

}  // namespace holv::standin
