// UI automation for tests and scripts: finds the program's windows and
// message boxes from another process, reads them and answers them the way a
// user would. Works on any process of the same desktop (and under Wine).
#pragma once
#include <windows.h>

#include <string>
#include <vector>

namespace holv::uiauto {

// What a window must match; a null text or a 0 id matches anything.
struct WindowQuery {
    const char* className = nullptr;
    const char* title = nullptr;
    DWORD processId = 0;
};

constexpr const char* kMessageBoxClass = "#32770";

// Top-level windows (children of the desktop), visible or not.
HWND FindTopWindow(const WindowQuery& query);
HWND WaitTopWindow(const WindowQuery& query, DWORD timeoutMs);

// Windows parked under the message-only parent (HWND_MESSAGE).
HWND FindMessageOnlyWindow(const WindowQuery& query);
HWND WaitMessageOnlyWindow(const WindowQuery& query, DWORD timeoutMs);

// A visible top-level dialog of the message-box class with this caption,
// optionally of one process. Visible means fully set up: the box fills its
// text and buttons before it is shown.
HWND FindMessageBox(const char* caption, DWORD processId);
HWND WaitMessageBox(const char* caption, DWORD processId, DWORD timeoutMs);
// Any visible message box of the process, whatever its caption.
HWND FindAnyMessageBox(DWORD processId);

// True once the window no longer exists.
bool WaitWindowGone(HWND window, DWORD timeoutMs);

std::string WindowTitle(HWND window);
std::string WindowClass(HWND window);
DWORD WindowProcessId(HWND window);

// The message text: the static control with id 0xFFFF, else the first static
// control that shows text.
std::string MessageBoxText(HWND box);
// Whether the box shows an icon (a visible icon control holding one).
bool MessageBoxHasIcon(HWND box);

struct Button {
    int id;
    std::string text;  // as shown, with its '&'
    bool isDefault;
};
// The visible push buttons in creation order.
std::vector<Button> ListButtons(HWND box);

// "abort", "IDABORT", "Abort" or a number such as "3" -> 3; 0 if unknown.
int ButtonIdFromName(const char* name);
// 3 -> "abort"; "?" if unknown.
const char* ButtonName(int id);
// The id of the visible button whose text equals text, ignoring '&' and
// letter case; 0 if none.
int FindButtonByText(HWND box, const char* text);

// Presses the button as a click would: the dialog gets the button's command.
// False if the box has no such visible button.
bool PressButton(HWND box, int id);
bool PressButtonByText(HWND box, const char* text);

// ---- dialog controls (check boxes, radio buttons, texts, keys) -------------

// BST_UNCHECKED, BST_CHECKED or BST_INDETERMINATE of a check box or radio
// button of the dialog; -1 when there is no such control or it does not
// answer.
int CheckState(HWND dialog, int id);
// Clicks the control as the mouse would (BM_CLICK): an automatic check box
// toggles, an automatic radio button is chosen and its group's others are
// cleared, and the dialog gets the click's notification. Waits until the
// control has handled it. False without such a visible, enabled control.
bool ClickControl(HWND dialog, int id);
// The text of the dialog's control; empty if it has none.
std::string ControlText(HWND dialog, int id);
bool ControlEnabled(HWND dialog, int id);
// A key pressed and released on the window, as the keyboard would deliver
// it through the window's message loop (a dialog's loop turns Escape into
// Cancel and Enter into its default button).
bool PressKey(HWND window, UINT virtualKey);

}  // namespace holv::uiauto
