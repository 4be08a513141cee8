// The VM's folder as seen by the service: the service runs as LocalSystem,
// and what the program starts or loads from the VM's folder (VirtualBox's
// tools, its component, its driver) then runs with those rights. A folder a
// standard user may write is refused for the service.
#pragma once
#include <string>

namespace holv {

// 0 when the folder of the VM file configPath, and VirtualBox's files in it,
// are an administrator's alone. Else ERROR_ACCESS_DENIED (or the error
// reading a descriptor) after a log line and an "Error" box that closes by
// itself after a while (no one may be there to answer it).
int RefuseUntrustedVmFolder(const std::string& configPath);

// InstallService for a folder RefuseUntrustedVmFolder accepts only: the
// autostart of the command line and of the Options dialog.
void InstallServiceForTrustedFolder(const std::string& configPath);

}  // namespace holv
