// The main window's commands: menu 109, the accelerators, the tray's default
// item, and what a second instance posts. Windows-free, so the status table
// that names them is tested natively.
#pragma once

namespace holv {

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

}  // namespace holv
