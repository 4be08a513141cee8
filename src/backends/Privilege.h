#pragma once

namespace holv {

// Enables "SeDebugPrivilege" in the program's own token (it stays enabled),
// so processes of other users, such as a VM started by the service, can be
// opened. Returns whether it is enabled.
bool EnableDebugPrivilege();

}  // namespace holv
