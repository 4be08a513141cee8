// The "Options" dialog: the automatic start as a service, and the VM's
// network type (bridged or NAT).
#pragma once
#include <windows.h>

#include "ui/ProgramState.h"

namespace holv {

enum OptionsControl : int {
    IdcAutostart = 1000,
    IdcNetTypeGroup = 1004,
    IdcBridged = 1005,
    IdcNat = 1006,
    IdcComPort = 1007,
};

inline constexpr char kRunningNoteText[] =
    "This setting can not be changed while the VM is running.\nPlease stop the VM first, then change the setting "
    "again.";

// Modal, owned by owner; returns the dialog's result (1 OK, 2 Cancel). The
// dialog reads and changes the program's backend and automatic start.
INT_PTR ShowOptionsDialog(HINSTANCE instance, HWND owner, ProgramState& program);
INT_PTR CALLBACK OptionsDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

}  // namespace holv
