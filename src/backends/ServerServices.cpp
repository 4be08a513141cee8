#include "backends/ServerServices.h"

#include <windows.h>

#include "base/Unique.h"

namespace holv {
namespace {

int CheckServiceRuns(SC_HANDLE manager, const char* name) {
    UniqueService service(OpenServiceA(manager, name, SERVICE_QUERY_STATUS));
    if (!service) return static_cast<int>(GetLastError());
    SERVICE_STATUS status{};
    if (!QueryServiceStatus(service.get(), &status)) return static_cast<int>(GetLastError());
    return status.dwCurrentState == SERVICE_RUNNING ? 0 : ERROR_SERVICE_NOT_ACTIVE;
}

}  // namespace

int CheckServerServices() {
    UniqueService manager(OpenSCManagerA(nullptr, nullptr, GENERIC_READ));
    if (!manager) return static_cast<int>(GetLastError());
    if (int rc = CheckServiceRuns(manager.get(), kServerAuthService)) return rc;
    return CheckServiceRuns(manager.get(), kServerHostService);
}

}  // namespace holv
