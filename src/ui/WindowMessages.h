// The main window's own messages.
#pragma once
#include <windows.h>

namespace holv {

inline constexpr UINT WM_TRAY_NOTIFY = WM_APP + 10;  // the tray icon's mouse events
inline constexpr UINT WM_IMC_INPUT = WM_APP + 8888;  // the appliance's transport has input

// The host's address list changed (posted by the address watch).
inline constexpr UINT WM_ADDRESS_CHANGED = WM_APP + 11;

}  // namespace holv
