// The backend's side of the host identity, the DNS search list and the
// actions that open a URL or report a registry value.
#include "backends/Cvmx.h"

namespace holv {

// Not built yet: the identity counts as registered, and the actions that need
// the host's network settings or a browser are ignored.
int Cvmx::RegisterHostName(int) {
    resync = 0;
    return 0;
}
void Cvmx::RestoreSearchList() {}
void Cvmx::SearchListAction(const std::string&) {}
void Cvmx::OpenUrlAction(const std::string&) {}
void Cvmx::ReportRegistryAction(const std::string&) {}

}  // namespace holv
