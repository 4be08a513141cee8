#include <gtest/gtest.h>
#include <windows.h>

#include "ui/Timer.h"

using namespace holv;

// A session timer that keeps ticking after it was set to 0 runs session
// steps against a stopped VM; the old timer must go whenever the period
// changes.
TEST(Timer, PeriodZeroStopsIt) {
    HWND window = CreateWindowExA(0, "STATIC", "timer", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    ASSERT_NE(window, nullptr);
    Timer t;
    SetTimerPeriod(window, t, 15);
    SetTimerPeriod(window, t, 0);
    EXPECT_EQ(t.active, 0u);
    MSG msg;
    while (PeekMessageA(&msg, window, WM_TIMER, WM_TIMER, PM_REMOVE)) {
    }
    bool ticked = false;
    for (DWORD start = GetTickCount(); !ticked && GetTickCount() - start < 200; Sleep(5))
        while (PeekMessageA(&msg, window, WM_TIMER, WM_TIMER, PM_REMOVE)) ticked |= msg.wParam == t.Id();
    EXPECT_FALSE(ticked);
    SetTimerPeriod(window, t, 0);  // stopping a stopped timer is harmless
    EXPECT_EQ(t.active, 0u);
    DestroyWindow(window);
}
