// The "About" dialog: the program's name and version.
#pragma once
#include <windows.h>

namespace holv {

inline constexpr int IdcAboutTitle = 3;

// Modal, owned by owner; returns the command that closed it (1 or 2).
INT_PTR ShowAboutDialog(HINSTANCE instance, HWND owner);
INT_PTR CALLBACK AboutDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

}  // namespace holv
