// The status display and the main window's commands, driven in-process with a
// backend whose state the test sets. The tray is Wine's real notification
// area; the program's resources (menu, icons) are linked into this test.
#include <gtest/gtest.h>
// clang-format off
#include <winsock2.h>
#include <windows.h>
// clang-format on

#include <cstdio>
#include <cstring>
#include <string>

#include "app/MainWindow.h"
#include "app/Program.h"
#include "backends/Cvmx.h"
#include "base/Text.h"
#include "ui/StatusDisplay.h"
#include "ui/SystemTray.h"

using namespace holv;

namespace {

class FakeVmx : public virtual Cvmx {
public:
    FakeVmx() : Cvmx(KindPlayer) {}
    using Cvmx::configPath;
    using Cvmx::session;
    using Cvmx::state;
    uint32_t& applianceIp = session.applianceIp;
    int Open() override { return 0; }
    int Close() override { return 0; }
    int Prepare() override { return 0; }
    int Release() override { return 0; }
    int Start(int show) override {
        ++starts;
        lastShow = show;
        if (startReaches) state = startReaches;
        return 0;
    }
    int Stop() override {
        ++stops;
        state = StateStopped;
        return 0;
    }
    int Poll(int refresh, int converse) override {
        ++polls;
        if (converse) ++converses;
        return state;
    }
    int CheckInstall() override { return 0; }
    int starts = 0, stops = 0, polls = 0, converses = 0, lastShow = -1, startReaches = StateStarting;
};

class StatusDisplay : public ::testing::Test {
protected:
    void SetUp() override {
        WSADATA data;
        WSAStartup(MAKEWORD(2, 0), &data);
        Program& p = g_program;
        p = Program{};
        p.instance = GetModuleHandleA(nullptr);
        ASSERT_GT(LoadStringA(p.instance, kResClassName, p.className, sizeof p.className), 0) << "resources not linked";
        WNDCLASSEXA wc{};
        wc.cbSize = sizeof wc;
        wc.lpfnWndProc = MainWindowProc;
        wc.hInstance = p.instance;
        wc.lpszClassName = p.className;
        RegisterClassExA(&wc);
        vmx_ = TempVmx();
        auto fake = std::make_unique<FakeVmx>();
        vm_ = fake.get();
        vm_->configPath = vmx_;
        vm_->state = StateStopped;
        p.backend = std::move(fake);
        p.mainWindow = CreateWindowExA(0, p.className, "status test", WS_OVERLAPPEDWINDOW, 0, 0, 10, 10, nullptr,
                                       nullptr, p.instance, nullptr);
        ASSERT_NE(p.mainWindow, nullptr);
        p.taskbarCreated = RegisterWindowMessageA("TaskbarCreated");
        CreateTrayIcon(g_program);
    }
    void TearDown() override {
        Program& p = g_program;
        Tray().Destroy();
        SetTimerPeriod(p.mainWindow, p.sessionTimer, 0);
        SetTimerPeriod(p.mainWindow, p.pollTimer, 0);
        DestroyWindow(p.mainWindow);
        p.backend.reset();
        p.mainWindow = nullptr;
        DeleteFileA(vmx_.c_str());
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        }
        WSACleanup();
    }
    static std::string TempVmx(const char* connection = "nat") {
        char dir[MAX_PATH], path[MAX_PATH];
        GetTempPathA(MAX_PATH, dir);
        GetTempFileNameA(dir, "hvs", 0, path);
        FILE* f = std::fopen(path, "w");
        std::fprintf(f, "config.version = \"8\"\nethernet0.connectionType = \"%s\"\n", connection);
        std::fclose(f);
        return path;
    }
    static bool Grayed(UINT command) {
        UINT s = GetMenuState(Tray().GetPopupMenu(), command, MF_BYCOMMAND);
        return s != static_cast<UINT>(-1) && (s & MF_GRAYED);
    }
    static UINT DefaultCommand() {
        bool byPosition = true;
        UINT item = Tray().GetDefaultMenuItem(&byPosition);
        return byPosition ? GetMenuItemID(Tray().GetPopupMenu(), static_cast<int>(item)) : item;
    }
    // The next command posted to the main window, or 0.
    static std::pair<UINT, LPARAM> TakePostedCommand() {
        MSG msg;
        while (PeekMessageA(&msg, g_program.mainWindow, WM_COMMAND, WM_COMMAND, PM_REMOVE))
            return {LOWORD(msg.wParam), msg.lParam};
        return {0, 0};
    }
    LRESULT Command(int command, LPARAM lParam = 0) {
        return MainWindowProc(g_program.mainWindow, WM_COMMAND, static_cast<WPARAM>(command), lParam);
    }

    FakeVmx* vm_ = nullptr;
    std::string vmx_;
};

}  // namespace

TEST_F(StatusDisplay, TrayStartsStoppedWithStatusAsDefault) {
    ASSERT_NE(Tray().GetPopupMenu(), nullptr);
    EXPECT_STREQ(Tray().GetTooltipText(), "Holvenstead");
    EXPECT_EQ(DefaultCommand(), static_cast<UINT>(CmdStatus));
    // A double click before any refresh chooses "Status".
    EXPECT_EQ(HandleTrayNotification(kResMenu, WM_LBUTTONDBLCLK), 1);
    auto posted = TakePostedCommand();
    EXPECT_EQ(posted.first, static_cast<UINT>(CmdStatus));
    EXPECT_EQ(posted.second, 0);
    // Another icon's events are not ours.
    EXPECT_EQ(HandleTrayNotification(kResMenu + 1, WM_LBUTTONDBLCLK), 0);
    EXPECT_EQ(TakePostedCommand().first, 0u);
}

TEST_F(StatusDisplay, StoppedRow) {
    vm_->state = StateStopped;
    RefreshStatus(g_program, 1, 0);
    EXPECT_STREQ(Tray().GetTooltipText(), "Holvenstead: Stopped");
    EXPECT_FALSE(Grayed(CmdStart));
    EXPECT_TRUE(Grayed(CmdStop));
    EXPECT_TRUE(Grayed(CmdBrowse));
    EXPECT_EQ(DefaultCommand(), static_cast<UINT>(CmdStatus));
    EXPECT_EQ(g_program.sessionTimer.period, 0u);
    EXPECT_FALSE(Grayed(CmdNetConfig));  // "nat": the network editor makes sense
}

TEST_F(StatusDisplay, StartingRowAndNotReadyRow) {
    vm_->state = StateStarting;
    RefreshStatus(g_program, 0, 1);
    EXPECT_EQ(vm_->converses, 1);
    EXPECT_STREQ(Tray().GetTooltipText(), "Holvenstead: Starting...");
    EXPECT_TRUE(Grayed(CmdStart));
    EXPECT_FALSE(Grayed(CmdStop));
    EXPECT_TRUE(Grayed(CmdBrowse));
    EXPECT_EQ(g_program.sessionTimer.period, 5000u);

    vm_->state = StateOpen;
    RefreshStatus(g_program, 1, 0);
    EXPECT_STREQ(Tray().GetTooltipText(), "Holvenstead: VMware service not ready");
    EXPECT_TRUE(Grayed(CmdStart) && Grayed(CmdStop) && Grayed(CmdBrowse));
    vm_->applianceIp = htonl(0x0A000009);
    RefreshStatus(g_program, 1, 0);
    EXPECT_FALSE(Grayed(CmdBrowse));  // the appliance's address is known
    EXPECT_EQ(g_program.sessionTimer.period, 5000u);
}

TEST_F(StatusDisplay, RunningRowTooltipsAndDefaultBrowse) {
    vm_->state = StateRunning;
    CopyText(vm_->session.productName, "Appliance 3000");
    RefreshStatus(g_program, 0, 1);
    EXPECT_STREQ(Tray().GetTooltipText(), "Appliance 3000: Running\nTP: Disconnected");
    EXPECT_TRUE(Grayed(CmdStart));
    EXPECT_FALSE(Grayed(CmdStop));
    EXPECT_FALSE(Grayed(CmdBrowse));
    EXPECT_EQ(DefaultCommand(), static_cast<UINT>(CmdBrowse));
    EXPECT_EQ(g_program.sessionTimer.period, 60000u);
    CopyText(vm_->session.trellisportServer, "tp.example.invalid");
    RefreshStatus(g_program, 0, 1);
    EXPECT_STREQ(Tray().GetTooltipText(), "Appliance 3000: Running\nTP: tp.example.invalid");
    CopyText(vm_->session.rkConnection, "rk up");
    RefreshStatus(g_program, 0, 1);
    EXPECT_STREQ(Tray().GetTooltipText(), "Appliance 3000: Running\nRK: rk up");
    // A double click now chooses "Browse".
    HandleTrayNotification(kResMenu, WM_LBUTTONDBLCLK);
    EXPECT_EQ(TakePostedCommand().first, static_cast<UINT>(CmdBrowse));
}

TEST_F(StatusDisplay, TooltipIsCutTo127Characters) {
    vm_->state = StateRunning;
    CopyText(vm_->session.productName, std::string(150, 'n').c_str());
    CopyText(vm_->session.rkConnection, std::string(150, 'r').c_str());
    RefreshStatus(g_program, 0, 0);
    std::string full = std::string(99, 'n') + ": Running\nRK: " + std::string(127, 'r');
    EXPECT_EQ(std::string(Tray().GetTooltipText()), full.substr(0, 127));
}

TEST_F(StatusDisplay, NetConfigGrayedForBridged) {
    std::string bridged = TempVmx("bridged");
    vm_->configPath = bridged;
    RefreshStatus(g_program, 0, 0);
    EXPECT_TRUE(Grayed(CmdNetConfig));
    DeleteFileA(bridged.c_str());
}

TEST_F(StatusDisplay, TaskbarCreatedBringsTheIconBack) {
    vm_->state = StateStarting;
    RefreshStatus(g_program, 0, 0);
    Tray().Remove();
    ASSERT_TRUE(Tray().IsRemoved());
    MainWindowProc(g_program.mainWindow, g_program.taskbarCreated, 0, 0);
    EXPECT_FALSE(Tray().IsRemoved());
    EXPECT_STREQ(Tray().GetTooltipText(), "Holvenstead: Starting...");
    EXPECT_TRUE(Grayed(CmdStart));
}

TEST_F(StatusDisplay, StartStopAndExitCommands) {
    Command(CmdStart, 1);
    EXPECT_EQ(vm_->starts, 1);
    EXPECT_EQ(vm_->lastShow, 1);  // Shift asks for a visible VM
    EXPECT_STREQ(Tray().GetTooltipText(), "Holvenstead: Starting...");
    Command(CmdStop);
    EXPECT_EQ(vm_->stops, 1);
    EXPECT_STREQ(Tray().GetTooltipText(), "Holvenstead: Stopped");
}

TEST_F(StatusDisplay, ExitWithShiftLeavesTheVmRunning) {
    vm_->state = StateRunning;
    Command(CmdExit, 1);
    EXPECT_EQ(vm_->stops, 0);
    EXPECT_FALSE(IsWindow(g_program.mainWindow));
}

TEST_F(StatusDisplay, ExitStopsTheVmFirst) {
    vm_->state = StateRunning;
    Command(CmdExit, 0);
    EXPECT_EQ(vm_->stops, 1);
    EXPECT_FALSE(IsWindow(g_program.mainWindow));
}

TEST_F(StatusDisplay, BrowseWaitsForRunning) {
    vm_->state = StateStarting;
    Command(CmdBrowse);
    EXPECT_TRUE(g_program.browsePending());
    vm_->state = StateRunning;
    RefreshStatus(g_program, 0, 1);
    EXPECT_FALSE(g_program.browsePending());
}

TEST_F(StatusDisplay, PollTickActsOnPendingVerbs) {
    Program& p = g_program;
    p.startPending() = true;
    MainWindowProc(p.mainWindow, WM_TIMER, p.pollTimer.Id(), 0);
    EXPECT_EQ(vm_->starts, 1);
    EXPECT_EQ(vm_->lastShow, 0);
    EXPECT_FALSE(p.startPending());
    EXPECT_EQ(p.pollTimer.period, 10000u);
    p.stopPending() = true;
    MainWindowProc(p.mainWindow, WM_TIMER, p.pollTimer.Id(), 0);
    EXPECT_EQ(vm_->stops, 1);
    EXPECT_FALSE(p.stopPending());
    // A start that does not get the VM going is not retried without the
    // service set to start automatically.
    vm_->startReaches = 0;
    p.startPending() = true;
    MainWindowProc(p.mainWindow, WM_TIMER, p.pollTimer.Id(), 0);
    EXPECT_FALSE(p.startPending());
}

namespace {

// A listener on 127.0.0.1: how many connections arrived, and what they sent.
class Listener {
public:
    Listener() {
        s_ = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(s_, reinterpret_cast<sockaddr*>(&a), sizeof a);
        int n = sizeof a;
        getsockname(s_, reinterpret_cast<sockaddr*>(&a), &n);
        port_ = ntohs(a.sin_port);
        listen(s_, 4);
        u_long nonBlocking = 1;
        ioctlsocket(s_, FIONBIO, &nonBlocking);
    }
    ~Listener() { closesocket(s_); }
    int port() const { return port_; }
    // Accepts what is waiting; returns the texts received.
    std::vector<std::string> Drain() {
        std::vector<std::string> texts;
        for (;;) {
            SOCKET c = accept(s_, nullptr, nullptr);
            if (c == INVALID_SOCKET) break;
            u_long blocking = 0;
            ioctlsocket(c, FIONBIO, &blocking);
            std::string text;
            char buf[1024];
            int got;
            while ((got = recv(c, buf, sizeof buf, 0)) > 0) text.append(buf, got);
            closesocket(c);
            texts.push_back(text);
        }
        return texts;
    }

private:
    SOCKET s_;
    int port_ = 0;
};

}  // namespace

TEST_F(StatusDisplay, PushWaitsForARealAddressThenGoesOnce) {
    Listener listener;
    vm_->state = StateRunning;
    Command(CmdStatusPush, listener.port());
    EXPECT_TRUE(g_program.statusPushPending());
    EXPECT_TRUE(listener.Drain().empty());  // 0.0.0.0: held back
    vm_->applianceIp = htonl(0xA9FE0102);   // 169.254.1.2: still no real address
    RefreshStatus(g_program, 0, 1);
    EXPECT_TRUE(g_program.statusPushPending());
    EXPECT_TRUE(listener.Drain().empty());
    vm_->applianceIp = htonl(0x0A580002);  // 10.88.0.2
    CopyText(vm_->session.serialNo, "0");
    RefreshStatus(g_program, 0, 1);
    EXPECT_FALSE(g_program.statusPushPending());
    std::vector<std::string> got = listener.Drain();
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].rfind("State: Running\n", 0), 0u);
    EXPECT_NE(got[0].find("\nIP Address: 10.88.0.2"), std::string::npos);
    EXPECT_EQ(got[0].find("Serial"), std::string::npos);  // serial "0" is no serial
    RefreshStatus(g_program, 0, 1);
    EXPECT_TRUE(listener.Drain().empty());  // once
}
