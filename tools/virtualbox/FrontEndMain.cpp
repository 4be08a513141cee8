// VBoxHeadless.exe and VBoxSDL.exe stand-ins (one source, HOLV_FRONT_END
// names which): run the VM named after -s, -vm or -startvm until it is
// powered off. The windowed front end shows no window; only the name differs.
#include <windows.h>

#include <string>
#include <vector>

#include "CommandWords.h"
#include "VBoxStandIn.h"
#include "VmPower.h"

using namespace holv;
using namespace holv::vbox;

int main() {
    const char* commandLine = GetCommandLineA();
    const std::vector<std::string> w = standin::CommandWords(commandLine);
    const StandInSettings settings = LoadSettings();
    const int early = BeginInvocation(settings, HOLV_FRONT_END, commandLine);
    if (early >= 0) return early;
    for (size_t i = 1; i + 1 < w.size(); ++i) {
        if (w[i] == "-s" || w[i] == "-vm" || w[i] == "-startvm" || w[i] == "--startvm")
            return RunVm(settings, w[i + 1]);
    }
    PrintError(std::string(HOLV_FRONT_END) + ": which VM? (-s NAME, -vm NAME or -startvm NAME)\n");
    return 1;
}
