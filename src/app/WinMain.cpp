#include <windows.h>

#include "app/Program.h"
#include "app/Service.h"

// With an empty command line the service manager may have started us: offer
// the process to the service dispatcher, and run as a program when it says
// this is no service process.
int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int show) {
    if (!commandLine || !*commandLine) {
        char name[] = "Holvenstead";
        SERVICE_TABLE_ENTRYA table[] = {{name, holv::ServiceMain}, {nullptr, nullptr}};
        if (StartServiceCtrlDispatcherA(table)) return 0;
    }
    return holv::ProgramMain(instance, previous, commandLine, show);
}
