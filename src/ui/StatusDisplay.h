// Brings what the user sees in line with the VM's state: the tray icon, its
// tooltip and menu, the session timer, and the requests that wait for the
// appliance to run (open the web interface, push the status).
#pragma once
#include <windows.h>

#include "ui/ProgramState.h"

namespace holv {

class CSystemTray;

// Polls the backend (refresh: re-check the VM; converse: one session cycle)
// and updates icon, tooltip, menu and session timer from the state.
void RefreshStatus(ProgramState& program, int refresh, int converse);
// The "Status" box's text; re-checks the VM and converses once.
const char* BuildStatusText(ProgramState& program);
// Sends the status text once to 127.0.0.1:port; stays pending until a
// connection is made while the appliance has a real address.
void PushStatus(ProgramState& program, int port);

// The program's one tray icon.
CSystemTray& Tray();
void CreateTrayIcon(const ProgramState& program);
void RecreateTrayIcon(const ProgramState& program);
LRESULT HandleTrayNotification(WPARAM wParam, LPARAM lParam);

}  // namespace holv
