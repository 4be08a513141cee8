#include "backends/ApplianceGui.h"

#include "backends/Cvmx.h"
#include "host/Browser.h"

namespace holv {
namespace {
constexpr int kNotLoaded = 1062;
constexpr int kNoAddress = 1228;
}  // namespace

int OpenApplianceGui(Cvmx& backend) {
    if (backend.GetState() == StateNone) return kNotLoaded;
    if (backend.GetApplianceIp() == 0) backend.Poll(1, 1);
    if (backend.GetApplianceIp() == 0) return kNoAddress;
    return OpenApplianceUrl(backend.GetIpText());
}

}  // namespace holv
