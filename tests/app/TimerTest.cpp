#include <gtest/gtest.h>
#include <windows.h>

#include "app/Timer.h"

using namespace holv;

namespace {

class TimerWindow : public ::testing::Test {
protected:
    void SetUp() override {
        window_ = CreateWindowExA(0, "STATIC", "timer test", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
        ASSERT_NE(window_, nullptr);
    }
    void TearDown() override { DestroyWindow(window_); }
    // Whether a WM_TIMER for this id arrives within the given time.
    bool TickArrives(UINT_PTR id, DWORD withinMs) {
        DWORD start = GetTickCount();
        MSG msg;
        while (GetTickCount() - start < withinMs) {
            while (PeekMessageA(&msg, window_, WM_TIMER, WM_TIMER, PM_REMOVE))
                if (msg.wParam == id) return true;
            Sleep(5);
        }
        return false;
    }
    HWND window_ = nullptr;
};

}  // namespace

TEST_F(TimerWindow, RecordsAreTheirOwnIdentifiers) {
    Timer poll, session;
    EXPECT_NE(poll.Id(), session.Id());
    SetTimerPeriod(window_, poll, 20);
    SetTimerPeriod(window_, session, 20);
    EXPECT_EQ(poll.active, poll.Id());
    EXPECT_EQ(session.active, session.Id());
    EXPECT_TRUE(TickArrives(poll.Id(), 3000));
    EXPECT_TRUE(TickArrives(session.Id(), 3000));
    SetTimerPeriod(window_, poll, 0);
    SetTimerPeriod(window_, session, 0);
}

TEST_F(TimerWindow, SamePeriodLeavesTheRunningTimerAlone) {
    Timer t;
    SetTimerPeriod(window_, t, 5000);
    UINT_PTR first = t.active;
    ASSERT_NE(first, 0u);
    SetTimerPeriod(window_, t, 5000);
    EXPECT_EQ(t.active, first);
    EXPECT_EQ(t.period, 5000u);
    SetTimerPeriod(window_, t, 0);
}

TEST_F(TimerWindow, PeriodZeroStopsIt) {
    Timer t;
    SetTimerPeriod(window_, t, 15);
    SetTimerPeriod(window_, t, 0);
    EXPECT_EQ(t.active, 0u);
    EXPECT_EQ(t.period, 0u);
    MSG msg;
    while (PeekMessageA(&msg, window_, WM_TIMER, WM_TIMER, PM_REMOVE)) {
    }
    EXPECT_FALSE(TickArrives(t.Id(), 200));
    // Stopping a stopped timer is harmless.
    SetTimerPeriod(window_, t, 0);
    EXPECT_EQ(t.active, 0u);
}
