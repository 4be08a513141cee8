#include "ui/AboutDialog.h"

#include "base/Text.h"
#include "ui/Resources.h"

namespace holv {

INT_PTR ShowAboutDialog(HINSTANCE instance, HWND owner) {
    return DialogBoxParamA(instance, MAKEINTRESOURCEA(kResDialogAbout), owner, AboutDialogProc, 0);
}

INT_PTR CALLBACK AboutDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
        case WM_INITDIALOG: {
            char title[101];
            FormatText(title, sizeof title, "%s Tray Icon", "Holvenstead");
            SetDlgItemTextA(dialog, IdcAboutTitle, title);
            return TRUE;
        }
        case WM_COMMAND: {
            int command = LOWORD(wParam);
            if (command != IDOK && command != IDCANCEL) return FALSE;
            EndDialog(dialog, command);  // Cancel is Escape or the close box
            return TRUE;
        }
        default: return FALSE;
    }
}

}  // namespace holv
