#include "ui/StatusDisplay.h"

#include "app/Program.h"
#include "backends/Cvmx.h"
#include "base/Text.h"

namespace holv {
namespace {

constexpr UINT kSessionRunningMs = 60000;
constexpr UINT kSessionWaitingMs = 5000;

char g_statusText[4096];

UINT SessionPeriodFor(int state) {
    if (state == StateRunning) return kSessionRunningMs;
    if (state == StateStopped) return 0;
    return kSessionWaitingMs;  // starting, or the hypervisor not ready yet
}

}  // namespace

void RefreshStatus(int refresh, int converse) {
    Program& p = g_program;
    if (!p.backend) return;
    int state = p.backend->Poll(refresh, converse);
    SetTimerPeriod(p.mainWindow, p.sessionTimer, SessionPeriodFor(state));
}

const char* BuildStatusText() {
    Program& p = g_program;
    FormatText(g_statusText, sizeof g_statusText, "State: %s", p.backend ? StateName(p.backend->Poll(0, 0)) : "");
    return g_statusText;
}

// The tray, the status push and the web interface are not built yet.
void PushStatus(int) {}
void OpenApplianceGuiForBackend() {}
void CreateTrayIcon() {}
void RecreateTrayIcon() {}
LRESULT HandleTrayNotification(WPARAM, LPARAM) { return 0; }

}  // namespace holv
