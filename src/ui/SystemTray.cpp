#include "ui/SystemTray.h"

#include "base/SystemVersion.h"
#include "base/Text.h"

namespace holv {
namespace {

constexpr char kWindowClass[] = "TrayIconClass";
constexpr UINT kWorkAreaSetting = 47;  // SPI_SETWORKAREA

CSystemTray* g_tray = nullptr;  // the message window reaches its object here
UINT g_taskbarCreated = RegisterWindowMessageA("TaskbarCreated");

void PostCommand(HWND window, UINT command, LPARAM shift) {
    PostMessageA(window, WM_COMMAND, command, shift);
}

}  // namespace

CSystemTray::CSystemTray() {
    g_tray = this;
}

CSystemTray::~CSystemTray() {
    Destroy();
    if (g_tray == this) g_tray = nullptr;
}

bool CSystemTray::Notify(DWORD action) {
    return Shell_NotifyIconA(action, &data_) != FALSE;
}

bool CSystemTray::Create(HINSTANCE instance, HWND owner, UINT callbackMessage, const char* tooltip, HICON icon,
                         UINT id) {
    enabled_ = SystemVersion().dwMajorVersion >= 4;
    if (!enabled_) return false;
    instance_ = instance;
    WNDCLASSEXA wc{};
    wc.cbSize = sizeof wc;
    wc.style = CS_HREDRAW | CS_VREDRAW | CS_DBLCLKS;
    wc.lpfnWndProc = WindowProc;
    wc.hInstance = instance;
    wc.lpszClassName = kWindowClass;
    RegisterClassExA(&wc);  // fails harmlessly when it is registered already
    messageWindow_.reset(CreateWindowExA(0, kWindowClass, "", WS_POPUP, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                                         CW_USEDEFAULT, nullptr, nullptr, instance, nullptr));

    data_ = NOTIFYICONDATAA{};
    // The second version of the record: no balloon-era fields beyond it.
    data_.cbSize = NOTIFYICONDATAA_V2_SIZE;
    data_.hWnd = owner ? owner : messageWindow_.get();
    data_.uID = id;
    data_.hIcon = icon;
    data_.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    data_.uCallbackMessage = callbackMessage;

    loadedMenu_.reset(LoadMenuA(instance, MAKEINTRESOURCEA(id)));
    popup_ = loadedMenu_ ? GetSubMenu(loadedMenu_.get(), 0) : nullptr;
    CopyText(data_.szTip, sizeof data_.szTip, tooltip);
    targetWindow_ = data_.hWnd;
    hidden_ = false;
    savedFlags_ = data_.uFlags;
    bool added = Notify(NIM_ADD);
    removed_ = lost_ = !added;
    return added;
}

bool CSystemTray::SetIcon(HICON icon) {
    if (!enabled_) return false;
    data_.uFlags = NIF_ICON;
    data_.hIcon = icon;
    return hidden_ ? true : Notify(NIM_MODIFY);
}

bool CSystemTray::SetTooltipText(const char* text) {
    if (!enabled_) return false;
    data_.uFlags = NIF_TIP;
    CopyText(data_.szTip, 128, text);  // 127 characters and the terminator
    return hidden_ ? true : Notify(NIM_MODIFY);
}

void CSystemTray::SetMenuItemGrayed(UINT command, bool grayed) {
    if (popup_) EnableMenuItem(popup_, command, MF_BYCOMMAND | (grayed ? MF_GRAYED : MF_ENABLED));
}

bool CSystemTray::SetDefaultMenuItem(UINT item, bool byPosition) {
    if (!popup_) return false;
    defaultItem_ = item;
    defaultByPosition_ = byPosition;
    return true;
}

UINT CSystemTray::GetDefaultMenuItem(bool* byPosition) const {
    if (byPosition) *byPosition = defaultByPosition_;
    return defaultItem_;
}

bool CSystemTray::Remove() {
    lost_ = false;
    if (!enabled_ || removed_) return true;
    data_.uFlags = 0;
    if (Notify(NIM_DELETE)) hidden_ = removed_ = true;
    return removed_;
}

void CSystemTray::RestoreIcon() {
    if (!lost_ || hidden_) return;
    data_.uFlags = savedFlags_;
    bool added = Notify(NIM_ADD);
    removed_ = lost_ = !added;
}

void CSystemTray::Destroy() {
    Remove();
    loadedMenu_.reset();
    popup_ = nullptr;
    messageWindow_.reset();
}

UINT CSystemTray::DefaultCommand() const {
    if (!defaultByPosition_) return defaultItem_;
    if (!popup_) return 0;
    return GetMenuItemID(popup_, static_cast<int>(defaultItem_));
}

LRESULT CSystemTray::HandleNotification(WPARAM id, LPARAM event) {
    if (id != data_.uID || !targetWindow_) return 0;
    switch (LOWORD(event)) {
        case WM_RBUTTONUP: {
            if (!popup_) return 0;
            SetMenuDefaultItem(popup_, defaultItem_, defaultByPosition_ ? TRUE : FALSE);
            PrepareMenu(popup_);
            POINT point;
            GetCursorPos(&point);
            UINT align = GetPopupAlignment(point);
            SetForegroundWindow(targetWindow_);
            UINT command = static_cast<UINT>(TrackPopupMenu(popup_, align | TPM_RETURNCMD | TPM_NONOTIFY, point.x,
                                                            point.y, 0, targetWindow_, nullptr));
            if (command) PostCommand(targetWindow_, command, (GetKeyState(VK_SHIFT) & 0x8000) ? 1 : 0);
            // Lets the menu close properly when the user clicks elsewhere.
            PostMessageA(targetWindow_, WM_NULL, 0, 0);
            return 1;
        }
        case WM_LBUTTONDBLCLK: {
            SetForegroundWindow(targetWindow_);
            if (defaultByPosition_ && !popup_) return 0;
            PostCommand(targetWindow_, DefaultCommand(), 0);
            return 1;
        }
        default: return 1;
    }
}

UINT CSystemTray::GetPopupAlignment(POINT& point) {
    UINT horizontal = GetSystemMetrics(SM_MENUDROPALIGNMENT) ? TPM_RIGHTALIGN : TPM_LEFTALIGN;
    OSVERSIONINFOA version = SystemVersion();
    if (version.dwMajorVersion != 6 || version.dwMinorVersion != 0) return horizontal | TPM_TOPALIGN;
    APPBARDATA bar{};
    bar.cbSize = sizeof bar;
    bar.hWnd = FindWindowA("Shell_TrayWnd", nullptr);
    if (!bar.hWnd || !SHAppBarMessage(ABM_GETTASKBARPOS, &bar)) return horizontal | TPM_TOPALIGN;
    switch (bar.uEdge) {
        case ABE_LEFT: return TPM_LEFTALIGN | TPM_TOPALIGN;
        case ABE_TOP: return horizontal | TPM_TOPALIGN;
        case ABE_RIGHT:
            if (point.x > bar.rc.left) point.x = bar.rc.left;
            return TPM_RIGHTALIGN | TPM_TOPALIGN;
        case ABE_BOTTOM:
        default:
            if (point.y > bar.rc.top) point.y = bar.rc.top;
            return horizontal | TPM_BOTTOMALIGN;
    }
}

LRESULT CALLBACK CSystemTray::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    CSystemTray* tray = g_tray;
    if (!tray || window != tray->messageWindow_.get()) return DefWindowProcA(window, message, wParam, lParam);
    if (message == g_taskbarCreated || (message == WM_SETTINGCHANGE && wParam == kWorkAreaSetting)) {
        tray->RestoreIcon();
        return 0;
    }
    if (message == tray->data_.uCallbackMessage) return tray->HandleNotification(wParam, lParam);
    return DefWindowProcA(window, message, wParam, lParam);
}

}  // namespace holv
