#include "ui/OptionsDialog.h"

#include "backends/Cvmx.h"
#include "ui/Commands.h"
#include "ui/Resources.h"
#include "ui/StatusDisplay.h"
#include "ui/SystemTray.h"

namespace holv {
namespace {

constexpr int kBridged = 0;
constexpr int kNat = 1;

// The dialog's procedure reaches the program it was opened for here.
ProgramState& ProgramOf(HWND dialog) {
    return *reinterpret_cast<ProgramState*>(GetWindowLongPtrA(dialog, DWLP_USER));
}

int CurrentConnectionType(const ProgramState& p) {
    return p.backend ? p.backend->GetConnectionType() : kBridged;
}

bool AutostartIsSet(const ProgramState& p) {
    return p.autostart.isSet && p.autostart.isSet();
}

bool Checked(HWND dialog, int id) {
    return IsDlgButtonChecked(dialog, id) == BST_CHECKED;
}

void OnInit(HWND dialog, ProgramState& p) {
    SetWindowLongPtrA(dialog, DWLP_USER, reinterpret_cast<LONG_PTR>(&p));
    CheckDlgButton(dialog, IdcAutostart, AutostartIsSet(p) ? BST_CHECKED : BST_UNCHECKED);
    // "hostonly" and "custom" have no button: neither is checked.
    int type = CurrentConnectionType(p);
    CheckDlgButton(dialog, IdcBridged, type == kBridged ? BST_CHECKED : BST_UNCHECKED);
    CheckDlgButton(dialog, IdcNat, type == kNat ? BST_CHECKED : BST_UNCHECKED);
}

void ApplyAutostart(const ProgramState& p, bool wanted) {
    // Read again: the service may have changed while the dialog was open.
    bool automatic = AutostartIsSet(p);
    if (wanted && !automatic && p.autostart.install) p.autostart.install(p.configPath);
    if (!wanted && automatic && p.autostart.remove) p.autostart.remove();
}

// The chosen type; with neither button checked ("hostonly" or "custom" in
// the file, and the user chose nothing) the file's own type stays, rather
// than being turned into "bridged" by an OK that changed nothing.
int ChosenConnectionType(HWND dialog, int current) {
    if (Checked(dialog, IdcNat)) return kNat;
    if (Checked(dialog, IdcBridged)) return kBridged;
    return current;
}

void OnOk(HWND dialog, ProgramState& p) {
    ApplyAutostart(p, Checked(dialog, IdcAutostart));
    int current = CurrentConnectionType(p);
    int chosen = ChosenConnectionType(dialog, current);
    EndDialog(dialog, IDOK);
    Cvmx* vm = p.backend.get();
    if (chosen == current || !vm) return;
    // The network editor only has something to edit for NAT; the next
    // refresh applies the whole rule.
    Tray().SetMenuItemGrayed(CmdNetConfig, chosen == kBridged);
    vm->SetConnectionType(chosen);
    int state = vm->Poll(0, 0);
    if (state == StateStarting || state == StateRunning) MessageBoxA(nullptr, kRunningNoteText, "Note", MB_OK);
}

}  // namespace

INT_PTR ShowOptionsDialog(HINSTANCE instance, HWND owner, ProgramState& program) {
    return DialogBoxParamA(instance, MAKEINTRESOURCEA(kResDialogOptions), owner, OptionsDialogProc,
                           reinterpret_cast<LPARAM>(&program));
}

INT_PTR CALLBACK OptionsDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_INITDIALOG: OnInit(dialog, *reinterpret_cast<ProgramState*>(lParam)); return TRUE;
        case WM_COMMAND:
            switch (LOWORD(wParam)) {
                case IDOK: OnOk(dialog, ProgramOf(dialog)); return TRUE;
                case IDCANCEL: EndDialog(dialog, IDCANCEL); return TRUE;  // also Escape
                default: return FALSE;
            }
        default: return FALSE;
    }
}

}  // namespace holv
