#pragma once
#include <windows.h>

namespace holv {

// Creates the hidden main window, selects the backend, adds the tray icon
// and starts the poll timer. 0, or 1062 (runs without the hypervisor's
// services), or the error that ends the program (already shown).
int InitMainWindow(HINSTANCE instance);

LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

}  // namespace holv
