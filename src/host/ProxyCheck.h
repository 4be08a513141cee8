// The once-per-run warning about a browser proxy that would stand between
// the user and the appliance's web interface.
#pragma once

namespace holv {

inline constexpr char kInternetSettingsKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";
inline constexpr char kProxyWarningCaption[] = "Web proxy detected - Holvenstead";

// Process-wide: set once the warning has been shown, whatever the answer.
bool& ProxyWarningShown();

// Unless the warning was shown in this run: when the browser uses a proxy
// and "ProxyOverride" lacks "https://<address>", asks the user (Yes/No) and
// on Yes puts the exception in front of the old list. When the list cannot
// take the exception whole (or cannot be read whole), the box says so and
// offers OK only; the list stays as it is. Failures are silent.
void CheckProxyForAppliance(const char* address);

}  // namespace holv
