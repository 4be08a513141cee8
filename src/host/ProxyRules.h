// When the browser's proxy settings stand between the user and the
// appliance's web interface, and how the appliance is added to the proxy
// exceptions. Windows-free.
#pragma once
#include <cstddef>
#include <cstdint>
#include <optional>

namespace holv {

// "ProxyOverride" is read into, and written from, this many bytes.
inline constexpr size_t kProxyOverrideSize = 2048;

struct ProxySettings {
    std::optional<uint32_t> autoConfigUrlSize;  // data size of "AutoConfigURL"
    std::optional<uint32_t> proxyEnable;        // "ProxyEnable" when a 32-bit value
    std::optional<uint32_t> proxyServerSize;    // data size of "ProxyServer"
};

// A configuration script of more than 7 bytes, or an enabled proxy with a
// server of at least one character.
bool ProxyInUse(const ProxySettings& settings);

// "%s%s%s": the exception, ";" when the old list is not empty, the old list.
// False, out untouched, when the result would not fit in 2047 characters:
// writing a cut list would drop the user's last entries.
bool ComposeProxyOverride(const char* exception, const char* old, char (&out)[kProxyOverrideSize]);

}  // namespace holv
