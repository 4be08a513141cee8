// The status display and the main window's commands, driven in-process with a
// backend whose state the test sets. The tray is Wine's real notification
// area. (The status push is shown end to end by e2e_session, verbs handed
// over by a second instance by e2e_startup and e2e_service.)
#include <string>

#include "app/Service.h"
#include "base/Text.h"
#include "base/Unique.h"
#include "ui/MainWindowFixture.h"

using namespace holv;

namespace {

class StatusDisplay : public test::MainWindowFixture {
protected:
    // The command a double click on the icon posts, or 0.
    static UINT DoubleClick() {
        HandleTrayNotification(kResMenu, WM_LBUTTONDBLCLK);
        MSG msg;
        if (PeekMessageA(&msg, g_program.mainWindow, WM_COMMAND, WM_COMMAND, PM_REMOVE)) return LOWORD(msg.wParam);
        return 0;
    }
};

}  // namespace

// Each row: the backend's state and whether the appliance's address is
// known, and what the tray then shows and offers. (Every state's texts and
// menu: test_ui_rules; here, that they reach the tray.)
TEST_F(StatusDisplay, EachStateShowsItsTooltipMenuAndTimer) {
    EXPECT_STREQ(Tray().GetTooltipText(), "Holvenstead");
    EXPECT_EQ(DoubleClick(), static_cast<UINT>(CmdStatus)) << "before any refresh";
    EXPECT_EQ(HandleTrayNotification(kResMenu + 1, WM_LBUTTONDBLCLK), 0) << "another icon's event";
    const struct {
        int state;
        uint32_t ip;
        const char* tooltip;
        bool startGrayed, stopGrayed, browseGrayed;
        UINT defaultCommand;
        unsigned period;
    } rows[] = {
        {StateStopped, 0, "Holvenstead: Stopped", false, true, true, CmdStatus, 0},
        {StateOpen, 0x0A000009, "Holvenstead: VMware service not ready", true, true, false, CmdStatus, 5000},
        {StateRunning, 0x0A000009, "Appliance 3000: Running\nTP: Disconnected", true, false, false, CmdBrowse, 60000},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.tooltip);
        vm_->state = r.state;
        vm_->applianceIp = htonl(r.ip);
        CopyText(vm_->session.productName, r.state == StateRunning ? "Appliance 3000" : "");
        RefreshStatus(g_program, 0, 1);
        EXPECT_STREQ(Tray().GetTooltipText(), r.tooltip);
        EXPECT_EQ(Grayed(CmdStart), r.startGrayed);
        EXPECT_EQ(Grayed(CmdStop), r.stopGrayed);
        EXPECT_EQ(Grayed(CmdBrowse), r.browseGrayed);
        EXPECT_EQ(DoubleClick(), r.defaultCommand);
        EXPECT_EQ(g_program.sessionTimer.period, r.period);
        EXPECT_FALSE(Grayed(CmdNetConfig)) << "NAT has a network editor";
    }
    // The shell restarted: the icon comes back as it was.
    Tray().Remove();
    MainWindowProc(g_program.mainWindow, g_program.taskbarCreated, 0, 0);
    EXPECT_FALSE(Tray().IsRemoved());
    EXPECT_STREQ(Tray().GetTooltipText(), rows[2].tooltip);
    EXPECT_TRUE(Grayed(CmdStart));
    UseVmx("bridged");
    RefreshStatus(g_program, 0, 0);
    EXPECT_TRUE(Grayed(CmdNetConfig)) << "bridged has none";
}

TEST_F(StatusDisplay, TooltipIsCutTo127Characters) {
    vm_->state = StateRunning;
    CopyText(vm_->session.productName, std::string(150, 'n').c_str());
    CopyText(vm_->session.rkConnection, std::string(150, 'r').c_str());
    RefreshStatus(g_program, 0, 0);
    std::string full = std::string(99, 'n') + ": Running\nRK: " + std::string(127, 'r');
    EXPECT_EQ(std::string(Tray().GetTooltipText()), full.substr(0, 127));
}

// Start shows the VM only with Shift (lParam 1); Browse waits for Running.
TEST_F(StatusDisplay, StartBrowseAndStop) {
    Command(CmdStart, 1);
    EXPECT_EQ(vm_->starts, 1);
    EXPECT_EQ(vm_->lastShow, 1);
    EXPECT_STREQ(Tray().GetTooltipText(), "Holvenstead: Starting...");
    Command(CmdBrowse);
    EXPECT_TRUE(g_program.browsePending());
    vm_->state = StateRunning;
    RefreshStatus(g_program, 0, 1);
    EXPECT_FALSE(g_program.browsePending());
    Command(CmdStop);
    EXPECT_EQ(vm_->stops, 1);
    EXPECT_STREQ(Tray().GetTooltipText(), "Holvenstead: Stopped");
}

// Exit stops the VM first, unless Shift is held (lParam 1).
TEST_F(StatusDisplay, ExitStopsTheVmUnlessShiftIsHeld) {
    for (LPARAM shift : {0, 1}) {
        if (shift) {
            TearDown();  // a fresh window for the second exit
            SetUp();
        }
        vm_->state = StateRunning;
        Command(CmdExit, shift);
        EXPECT_EQ(vm_->stops, shift ? 0 : 1) << "shift " << shift;
        EXPECT_FALSE(IsWindow(g_program.mainWindow));
    }
}

// A session timer that keeps ticking after it was set to 0 runs session
// steps against a stopped VM: the old timer must go whenever the period
// changes.
TEST_F(StatusDisplay, SessionTimerSetToZeroStopsTicking) {
    Timer& t = g_program.sessionTimer;
    SetTimerPeriod(g_program.mainWindow, t, 15);
    SetTimerPeriod(g_program.mainWindow, t, 0);
    EXPECT_EQ(t.active, 0u);
    MSG msg;  // a tick posted before the stop may still be queued
    while (PeekMessageA(&msg, g_program.mainWindow, WM_TIMER, WM_TIMER, PM_REMOVE)) {
    }
    bool ticked = false;
    for (DWORD start = GetTickCount(); !ticked && GetTickCount() - start < 200; Sleep(5))
        while (PeekMessageA(&msg, g_program.mainWindow, WM_TIMER, WM_TIMER, PM_REMOVE)) ticked |= msg.wParam == t.Id();
    EXPECT_FALSE(ticked);
    SetTimerPeriod(g_program.mainWindow, t, 0);  // stopping a stopped timer is harmless
    EXPECT_EQ(t.active, 0u);
}

// A start the VM does not follow is given up, unless the service is set to
// bring the VM up with the PC: then the next poll tries again. The service
// entry lives only for the one tick.
TEST_F(StatusDisplay, PendingStartIsRetriedOnlyForTheAutostartService) {
    vm_->startReaches = 0;
    for (bool autostart : {false, true}) {
        UniqueService manager(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CREATE_SERVICE));
        UniqueService service(autostart ? CreateServiceA(manager.get(), kServiceName, kServiceName,
                                                         DELETE | SERVICE_QUERY_CONFIG, SERVICE_WIN32_OWN_PROCESS,
                                                         SERVICE_AUTO_START, SERVICE_ERROR_IGNORE, "C:\\none.exe",
                                                         nullptr, nullptr, nullptr, nullptr, nullptr)
                                        : nullptr);
        ASSERT_EQ(static_cast<bool>(service), autostart);
        g_program.startPending() = true;
        MainWindowProc(g_program.mainWindow, WM_TIMER, g_program.pollTimer.Id(), 0);
        if (service) DeleteService(service.get());
        EXPECT_EQ(vm_->starts, autostart ? 2 : 1);
        EXPECT_EQ(g_program.startPending(), autostart) << "autostart " << autostart;
    }
}
