#pragma once
#include <windows.h>

namespace holv {

// A periodic timer of the main window. The record's own address is its
// timer identifier, so two records never clash.
struct Timer {
    UINT_PTR active = 0;  // identifier of the running system timer, 0 when none
    UINT period = 0;      // milliseconds; 0 = stopped

    UINT_PTR Id() const { return reinterpret_cast<UINT_PTR>(this); }
};

// Changes the period. The same period leaves a running countdown alone, so
// frequent refreshes do not postpone the next tick.
void SetTimerPeriod(HWND window, Timer& timer, UINT period);

}  // namespace holv
