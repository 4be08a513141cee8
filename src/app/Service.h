// The Windows service "Holvenstead": installation, removal, and the service
// process that runs the program as its "-start" child.
#pragma once
#include <windows.h>

#include <string>

namespace holv {

inline constexpr const char* kServiceName = "Holvenstead";
inline constexpr const char* kServiceParametersKey = "SYSTEM\\CurrentControlSet\\Services\\Holvenstead\\Parameters";
inline constexpr const char* kServiceArgumentsValue = "Arguments";

// Creates the automatically started service and stores configPath as its
// "Arguments". An existing service is left as it is. Silent.
void InstallService(const std::string& configPath);
// Marks the service for deletion (a running one is not stopped). Silent.
void RemoveService();
// True when the service exists with start type automatic.
bool ServiceIsAutostart();
// Registered with the service dispatcher by WinMain.
void WINAPI ServiceMain(DWORD argc, LPSTR* argv);

}  // namespace holv
