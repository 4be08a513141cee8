// The TAP driver that VirtualBox's host adapter needs, from the INF beside
// the VM: into the driver store, and onto the TAP devices already present.
#pragma once

namespace holv {

// The calls are looked up at run time: the program imports only what every
// Windows has loaded anyway, and a missing call only skips that part.
// Failures are not reported: the adapter listing afterwards tells.
void InstallTapDriver(const char* infPath);

}  // namespace holv
