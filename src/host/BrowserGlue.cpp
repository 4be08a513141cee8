// The Browse command's way to the appliance's web interface.
#include "ui/StatusDisplay.h"

namespace holv {

// The browser and the proxy warning are not built yet.
void OpenApplianceGuiForBackend() {}

}  // namespace holv
