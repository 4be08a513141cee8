// The Windows service "Holvenstead": installation, removal, and the service
// process that runs the program as its "-start" child.
#pragma once
#include <windows.h>

#include <string>

namespace holv {

inline constexpr const char* kServiceName = "Holvenstead";

void InstallService(const std::string& configPath);
void RemoveService();
bool ServiceIsAutostart();
void WINAPI ServiceMain(DWORD argc, LPSTR* argv);

}  // namespace holv
