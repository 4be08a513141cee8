// The Browse command: the appliance's web interface in the user's browser.
#pragma once

namespace holv {

class Cvmx;

// Opens "https://<appliance address>/" (host/Browser.h). 1062 when the
// backend is not loaded, 1228 when the appliance's address is still unknown
// after a poll, else OpenUrl's result.
int OpenApplianceGui(Cvmx& backend);

}  // namespace holv
