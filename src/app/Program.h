// Program-wide state of a running instance: what the command line asked for,
// the configuration file it serves, and the objects the main window drives.
#pragma once
#include <windows.h>

#include "app/CommandLine.h"
#include "ui/Commands.h"
#include "ui/ProgramState.h"
#include "ui/Resources.h"
#include "ui/Timer.h"
#include "ui/WindowMessages.h"

namespace holv {

struct Program : ProgramState {
    Program();

    VerbTable verbs;  // seen flags of start and stop are the pending requests
    char className[101] = {};
    UINT taskbarCreated = 0;
    Timer pollTimer;

    bool& startPending() { return verbs.verbs[VerbStart].seen; }
    bool& stopPending() { return verbs.verbs[VerbStop].seen; }
    // The verbs that wait for the appliance become the display's requests.
    void TakeWaitingVerbs();
};

extern Program g_program;

int ProgramMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int show);

}  // namespace holv
