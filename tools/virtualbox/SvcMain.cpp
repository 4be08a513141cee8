// VBoxSVC.exe stand-in: VirtualBox's service, which the setup re-registers
// ("/ReRegServer") when the adapter listing fails. It is traced and ends; it
// serves nothing, since the other stand-ins need no service.
#include <windows.h>

#include "VBoxStandIn.h"

using namespace holv::vbox;

int main() {
    const int early = BeginInvocation(LoadSettings(), "VBoxSVC", GetCommandLineA());
    return early >= 0 ? early : 0;
}
