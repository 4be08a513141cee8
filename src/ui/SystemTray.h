// One icon in the notification area with its tooltip and popup menu; mouse
// events on it become posted window commands for the owner window.
#pragma once
#include <windows.h>
#include <shellapi.h>

#include "base/Unique.h"

namespace holv {

class CSystemTray {
public:
    CSystemTray();
    virtual ~CSystemTray();
    CSystemTray(const CSystemTray&) = delete;
    CSystemTray& operator=(const CSystemTray&) = delete;

    // The identifier is the icon's and the menu resource's number.
    bool Create(HINSTANCE instance, HWND owner, UINT callbackMessage, const char* tooltip, HICON icon, UINT id);
    bool SetIcon(HICON icon);
    bool SetTooltipText(const char* text);
    void SetMenuItemGrayed(UINT command, bool grayed);
    bool SetDefaultMenuItem(UINT item, bool byPosition);
    bool Remove();
    void RestoreIcon();
    void Destroy();

    // The owner forwards its callback message here: 1 handled, 0 not ours.
    virtual LRESULT HandleNotification(WPARAM id, LPARAM event);
    virtual void PrepareMenu(HMENU popup) {}

    // Where the popup menu opens: next to the taskbar, never over it.
    static UINT GetPopupAlignment(POINT& point);

    // What a test or the status display wants to know.
    const char* GetTooltipText() const { return data_.szTip; }
    HICON GetIcon() const { return data_.hIcon; }
    HMENU GetPopupMenu() const { return popup_; }
    UINT GetDefaultMenuItem(bool* byPosition) const;
    bool IsRemoved() const { return removed_; }

private:
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    bool Notify(DWORD action);
    UINT DefaultCommand() const;

    NOTIFYICONDATAA data_{};
    HINSTANCE instance_ = nullptr;
    UniqueWindow messageWindow_;
    HWND targetWindow_ = nullptr;
    bool enabled_ = false;
    bool hidden_ = true;
    bool removed_ = true;
    bool lost_ = false;
    UniqueMenu loadedMenu_;
    HMENU popup_ = nullptr;  // owned by loadedMenu_
    UINT defaultItem_ = 0;
    bool defaultByPosition_ = true;
    UINT savedFlags_ = 0;
};

}  // namespace holv
