#include "host/ProxyRules.h"

#include <cstring>

#include "base/Text.h"

namespace holv {

bool ProxyInUse(const ProxySettings& s) {
    if (s.autoConfigUrlSize && *s.autoConfigUrlSize > 7) return true;
    return s.proxyEnable && *s.proxyEnable != 0 && s.proxyServerSize && *s.proxyServerSize >= 2;
}

bool ComposeProxyOverride(const char* exception, const char* old, char (&out)[kProxyOverrideSize]) {
    const char* previous = old ? old : "";
    size_t need = std::strlen(exception) + (previous[0] ? 1 + std::strlen(previous) : 0);
    if (need >= kProxyOverrideSize) return false;
    FormatText(out, sizeof out, "%s%s%s", exception, previous[0] ? ";" : "", previous);
    return true;
}

}  // namespace holv
