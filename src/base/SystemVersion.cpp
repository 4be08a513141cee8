#include "base/SystemVersion.h"

namespace holv {

OSVERSIONINFOA SystemVersion() {
    OSVERSIONINFOA info{};
    info.dwOSVersionInfoSize = sizeof info;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    if (!GetVersionExA(&info)) info = OSVERSIONINFOA{};
#pragma GCC diagnostic pop
    return info;
}

}  // namespace holv
