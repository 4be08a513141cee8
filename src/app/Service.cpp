#include "app/Service.h"

namespace holv {

// The service itself is not built yet: installation and removal change
// nothing, and nothing starts automatically.
void InstallService(const std::string&) {}
void RemoveService() {}
bool ServiceIsAutostart() { return false; }
void WINAPI ServiceMain(DWORD, LPSTR*) {}

}  // namespace holv
