// Whether the two services of VMware Server run: the backend is usable only
// while both do, and is kept (not ready) while they exist but are stopped.
#pragma once

namespace holv {

inline constexpr char kServerAuthService[] = "VMAuthdService";
inline constexpr char kServerHostService[] = "vmserverdWin32";

// 0 when both run; 1062 when one is installed but not running; otherwise the
// system's error of the failing call (1060 when a service is not installed).
// The authentication service is asked first.
int CheckServerServices();

}  // namespace holv
