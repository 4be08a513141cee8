#include "ui/Timer.h"

namespace holv {

void SetTimerPeriod(HWND window, Timer& timer, UINT period) {
    if (period == timer.period) return;
    if (timer.active) {
        KillTimer(window, timer.active);
        timer.active = 0;
    }
    if (period > 0) timer.active = SetTimer(window, timer.Id(), period, nullptr);
    timer.period = period;
}

}  // namespace holv
