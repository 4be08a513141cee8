#include "ui/OptionsDialog.h"

#include "app/Program.h"
#include "app/Service.h"
#include "backends/Cvmx.h"
#include "ui/StatusDisplay.h"
#include "ui/SystemTray.h"

namespace holv {
namespace {

constexpr int kBridged = 0;
constexpr int kNat = 1;

int CurrentConnectionType() {
    Cvmx* vm = g_program.backend.get();
    return vm ? vm->GetConnectionType() : kBridged;
}

bool Checked(HWND dialog, int id) {
    return IsDlgButtonChecked(dialog, id) == BST_CHECKED;
}

void OnInit(HWND dialog) {
    CheckDlgButton(dialog, IdcAutostart, ServiceIsAutostart() ? BST_CHECKED : BST_UNCHECKED);
    // "hostonly" and "custom" have no button: neither is checked.
    int type = CurrentConnectionType();
    CheckDlgButton(dialog, IdcBridged, type == kBridged ? BST_CHECKED : BST_UNCHECKED);
    CheckDlgButton(dialog, IdcNat, type == kNat ? BST_CHECKED : BST_UNCHECKED);
}

void ApplyAutostart(bool wanted) {
    // Read again: the service may have changed while the dialog was open.
    bool automatic = ServiceIsAutostart();
    if (wanted && !automatic) InstallService(g_program.configPath);
    if (!wanted && automatic) RemoveService();
}

// The chosen type; with neither button checked ("hostonly" or "custom" in
// the file, and the user chose nothing) the file's own type stays, rather
// than being turned into "bridged" by an OK that changed nothing.
int ChosenConnectionType(HWND dialog, int current) {
    if (Checked(dialog, IdcNat)) return kNat;
    if (Checked(dialog, IdcBridged)) return kBridged;
    return current;
}

void OnOk(HWND dialog) {
    ApplyAutostart(Checked(dialog, IdcAutostart));
    int current = CurrentConnectionType();
    int chosen = ChosenConnectionType(dialog, current);
    EndDialog(dialog, IDOK);
    Cvmx* vm = g_program.backend.get();
    if (chosen == current || !vm) return;
    // The network editor only has something to edit for NAT; the next
    // refresh applies the whole rule.
    Tray().SetMenuItemGrayed(CmdNetConfig, chosen == kBridged);
    vm->SetConnectionType(chosen);
    int state = vm->Poll(0, 0);
    if (state == StateStarting || state == StateRunning) MessageBoxA(nullptr, kRunningNoteText, "Note", MB_OK);
}

}  // namespace

INT_PTR ShowOptionsDialog(HINSTANCE instance, HWND owner) {
    return DialogBoxParamA(instance, MAKEINTRESOURCEA(kResDialogOptions), owner, OptionsDialogProc, 0);
}

INT_PTR CALLBACK OptionsDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
        case WM_INITDIALOG: OnInit(dialog); return TRUE;
        case WM_COMMAND:
            switch (LOWORD(wParam)) {
                case IDOK: OnOk(dialog); return TRUE;
                case IDCANCEL: EndDialog(dialog, IDCANCEL); return TRUE;  // also Escape
                default: return FALSE;
            }
        default: return FALSE;
    }
}

}  // namespace holv
