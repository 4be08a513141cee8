// The program's main window and tray, made in-process around the one fake
// backend, with a VM file in a scratch folder. The program's resources (menu,
// icons, dialogs) are linked into the test.
#pragma once
#include <gtest/gtest.h>
// clang-format off
#include <winsock2.h>
#include <windows.h>
// clang-format on

#include <memory>
#include <string>

#include "app/MainWindow.h"
#include "app/Program.h"
#include "e2e/E2eHarness.h"
#include "session/FakeBackend.h"
#include "ui/StatusDisplay.h"
#include "ui/SystemTray.h"

namespace holv::test {

class MainWindowFixture : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(scratch_.ok());
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
        auto fake = std::make_unique<FakeBackend>();
        vm_ = fake.get();
        vm_->state = StateStopped;
        vm_->startReaches = StateStarting;
        p.backend = std::move(fake);
        p.mainWindow = CreateWindowExA(0, p.className, "test", WS_OVERLAPPEDWINDOW, 0, 0, 10, 10, nullptr, nullptr,
                                       p.instance, nullptr);
        ASSERT_NE(p.mainWindow, nullptr);
        p.taskbarCreated = RegisterWindowMessageA("TaskbarCreated");
        CreateTrayIcon(g_program);
        ASSERT_NE(Tray().GetPopupMenu(), nullptr);
        UseVmx("nat");
    }
    void TearDown() override {
        Program& p = g_program;
        Tray().Destroy();
        SetTimerPeriod(p.mainWindow, p.sessionTimer, 0);
        SetTimerPeriod(p.mainWindow, p.pollTimer, 0);
        DestroyWindow(p.mainWindow);
        p.backend.reset();
        p.mainWindow = nullptr;
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        }
    }

    // A VM file with this connection type (none: no such line), served by
    // the backend and named in the program's configuration path.
    void UseVmx(const char* connection) {
        std::string text = "config.version = \"8\"\n";
        if (connection) text += std::string("ethernet0.connectionType = \"") + connection + "\"\n";
        vmx_ = scratch_.Write("VM Folder\\Holvenstead.vmx", text);
        ASSERT_FALSE(vmx_.empty());
        vm_->configPath = vmx_;
        g_program.configPath = vmx_;
    }
    static bool Grayed(UINT command) {
        UINT s = GetMenuState(Tray().GetPopupMenu(), command, MF_BYCOMMAND);
        return s != static_cast<UINT>(-1) && (s & MF_GRAYED);
    }
    static LRESULT Command(int command, LPARAM lParam = 0) {
        return MainWindowProc(g_program.mainWindow, WM_COMMAND, static_cast<WPARAM>(command), lParam);
    }

    e2e::ScratchDir scratch_;
    FakeBackend* vm_ = nullptr;
    std::string vmx_;
};

}  // namespace holv::test
