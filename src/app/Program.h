// Program-wide state of a running instance: what the command line asked for,
// the configuration file it serves, and the objects the main window drives.
#pragma once
#include <windows.h>

#include <memory>
#include <string>

#include "app/CommandLine.h"
#include "app/Timer.h"

namespace holv {

class Cvmx;

// Main window commands (menu 109, accelerators, posted by a second instance).
enum Command : int {
    CmdAbout = 104,
    CmdExit = 105,
    CmdStart = 32771,
    CmdStop = 32772,
    CmdBrowse = 32773,
    CmdStatus = 32774,
    CmdOptions = 32775,
    CmdNetConfig = 32776,
    CmdStatusPush = 32777,
};

inline constexpr UINT WM_TRAY_NOTIFY = WM_APP + 10;
inline constexpr UINT WM_IMC_INPUT = WM_APP + 8888;

inline constexpr int kResMenu = 109;
inline constexpr int kResAccelerators = 109;
inline constexpr int kResClassName = 109;
inline constexpr int kResAppIcon = 107;
inline constexpr int kResDialogAbout = 103;
inline constexpr int kResDialogOptions = 138;

struct Program {
    HINSTANCE instance = nullptr;
    VerbTable verbs;  // seen flags of start/stop/browse/xstatus are the pending requests
    std::string configPath;
    char className[101] = {};
    HWND mainWindow = nullptr;
    UINT taskbarCreated = 0;
    std::unique_ptr<Cvmx> backend;
    Timer pollTimer;
    Timer sessionTimer;

    bool& startPending() { return verbs.verbs[VerbStart].seen; }
    bool& stopPending() { return verbs.verbs[VerbStop].seen; }
    bool& browsePending() { return verbs.verbs[VerbBrowse].seen; }
    bool& statusPushPending() { return verbs.verbs[VerbXstatus].seen; }
    int& statusPushPort() { return verbs.verbs[VerbXstatus].value; }
};

extern Program g_program;

int ProgramMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int show);

}  // namespace holv
