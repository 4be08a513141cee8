// What the status display and the dialogs read and change of the running
// program: handed to them by the main window, which owns it.
#pragma once
#include <windows.h>

#include <memory>
#include <string>

#include "backends/Cvmx.h"
#include "ui/Timer.h"

namespace holv {

// The automatic start as a service, which the program's entry layer
// installs and removes.
struct AutostartService {
    bool (*isSet)() = nullptr;
    void (*install)(const std::string& configPath) = nullptr;
    void (*remove)() = nullptr;
};

struct ProgramState {
    HINSTANCE instance = nullptr;
    std::string configPath;
    HWND mainWindow = nullptr;
    std::unique_ptr<Cvmx> backend;
    Timer sessionTimer;
    AutostartService autostart;
    // Requests that wait for the appliance to run.
    bool browseRequested = false;
    bool statusPushRequested = false;
    int statusPushTarget = 0;  // the push's TCP port

    bool& browsePending() { return browseRequested; }
    bool& statusPushPending() { return statusPushRequested; }
    int& statusPushPort() { return statusPushTarget; }
};

}  // namespace holv
