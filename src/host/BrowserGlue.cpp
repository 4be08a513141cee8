// The Browse command's way to the appliance's web interface.
#include "app/Program.h"
#include "backends/Cvmx.h"
#include "host/Browser.h"
#include "ui/StatusDisplay.h"

namespace holv {

void OpenApplianceGuiForBackend() {
    if (g_program.backend) OpenApplianceGui(*g_program.backend);
}

}  // namespace holv
