#include "backends/VmwareCommand.h"

#include <cstdlib>
#include <cstring>

namespace holv {

std::string VmwareCommandFromAssociation(const std::string& association, const std::string& configPath,
                                         const VmwareProgramRule& rule) {
    std::string text = association;
    if (!text.empty() && text.back() == '\0') text.pop_back();
    if (text.empty() || text.find(rule.program) == std::string::npos) return {};
    const std::string options = rule.options;
    size_t percent = text.find('%');
    if (percent == std::string::npos) {
        if (text.size() + 5 + options.size() >= kAssociationBufferSize) return {};
        return text + " " + options + "\"" + configPath + "\"";
    }
    if (percent + 1 >= text.size() || text[percent + 1] != '1') return {};
    if (text.find('%', percent + 1) != std::string::npos) return {};
    if (!options.empty()) {
        // The options belong to the program, so they go before the quoted
        // path; an unquoted placeholder gives no place to put them.
        if (text.size() + options.size() >= kAssociationBufferSize) return {};
        if (percent == 0 || text[percent - 1] != '"' || percent + 2 >= text.size() || text[percent + 2] != '"')
            return {};
        text.insert(percent - 1, options);
        percent += options.size();
    }
    // Plain replacement: the path may itself hold '%' and is no format.
    return text.substr(0, percent) + configPath + text.substr(percent + 2);
}

std::string VmwareLogPath(const std::string& configPath) {
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
