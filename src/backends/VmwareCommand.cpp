#include "backends/PlayerCommand.h"

#include <cstdlib>
#include <cstring>

namespace holv {

std::string PlayerCommandFromAssociation(const std::string& association, const std::string& configPath) {
    std::string text = association;
    if (!text.empty() && text.back() == '\0') text.pop_back();
    if (text.empty() || text.find("vmplayer.exe") == std::string::npos) return {};
    size_t percent = text.find('%');
    if (percent == std::string::npos) {
        if (text.size() + 5 >= kAssociationBufferSize) return {};
        return text + " \"" + configPath + "\"";
    }
    if (percent + 1 >= text.size() || text[percent + 1] != '1') return {};
    if (text.find('%', percent + 1) != std::string::npos) return {};
    // Plain replacement: the path may itself hold '%' and is no format.
    return text.substr(0, percent) + configPath + text.substr(percent + 2);
}

std::string PlayerLogPath(const std::string& configPath) {
    size_t slash = configPath.rfind('\\');
    std::string folder = slash == std::string::npos ? std::string() : configPath.substr(0, slash + 1);
    return folder + "vmware.log";
}

unsigned long PidFromLogLine(const char* line) {
    const char* at = std::strstr(line, " pid=");
    if (!at) return 0;
    at += 5;
    if (*at < '0' || *at > '9') return 0;
    unsigned long long v = std::strtoull(at, nullptr, 10);
    return v > 0xFFFFFFFFull ? 0 : static_cast<unsigned long>(v);
}

}  // namespace holv
