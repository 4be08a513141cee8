#include <windows.h>

#include "app/Program.h"
#include "app/Service.h"
#include "base/SystemFolder.h"

// With an empty command line the service manager may have started us: offer
// the process to the service dispatcher, and run as a program when it says
// this is no service process.
int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int show) {
    // Before any library is loaded by name: the VM's folder is the current
    // folder, and one there must never be loaded in place of the system's.
    holv::RestrictLibrarySearch();
    if (!commandLine || !*commandLine) {
        char name[] = "Holvenstead";
        SERVICE_TABLE_ENTRYA table[] = {{name, holv::ServiceMain}, {nullptr, nullptr}};
        if (StartServiceCtrlDispatcherA(table)) return 0;
    }
    return holv::ProgramMain(instance, previous, commandLine, show);
}
