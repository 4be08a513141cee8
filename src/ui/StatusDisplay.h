// Brings what the user sees in line with the VM's state.
#pragma once
#include <windows.h>

namespace holv {

// Polls the backend (refresh: re-check the VM; converse: one session cycle)
// and sets the session timer's period from the state.
void RefreshStatus(int refresh, int converse);
const char* BuildStatusText();
void PushStatus(int port);
void OpenApplianceGuiForBackend();

void CreateTrayIcon();
void RecreateTrayIcon();
LRESULT HandleTrayNotification(WPARAM wParam, LPARAM lParam);

}  // namespace holv
