// The backend's side of the host identity, the DNS search list and the
// actions that open a URL or report a registry value.
#include "backends/Cvmx.h"
#include "host/Browser.h"
#include "host/RegistryReport.h"
#include "session/HostName.h"
#include "session/SearchList.h"

namespace holv {

int Cvmx::RegisterHostName(int options) {
    return holv::RegisterHostName(*this, options);
}
void Cvmx::RestoreSearchList() {
    UpdateSearchList(nullptr);
}
void Cvmx::SearchListAction(const std::string& suffixTemplate) {
    UpdateSearchList(suffixTemplate.c_str());
}
void Cvmx::OpenUrlAction(const std::string& url) {
    OpenUrl(url.c_str());
}
void Cvmx::ReportRegistryAction(const std::string& path) {
    ReportRegistryValue(applianceMac, path.c_str());
}

}  // namespace holv
