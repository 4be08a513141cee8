// The Options and About dialogs, opened in-process through the main window's
// commands and driven from a second thread through uiauto, as a user would.
// The service is the real one of Wine's service manager and the VM file a
// real file, so this runs in a throwaway prefix.
#include <gtest/gtest.h>
#include <windows.h>
#include <winsock2.h>

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "UiAuto.h"
#include "app/MainWindow.h"
#include "app/Program.h"
#include "app/Service.h"
#include "backends/Cvmx.h"
#include "e2e/E2eHarness.h"
#include "session/VmxFile.h"
#include "session/VmxFileConnection.h"
#include "ui/AboutDialog.h"
#include "ui/OptionsDialog.h"
#include "ui/StatusDisplay.h"
#include "ui/SystemTray.h"

using namespace holv;
using namespace holv::e2e;

namespace {

constexpr DWORD kDialogWaitMs = 30000;

class FakeVmx : public Cvmx {
public:
    FakeVmx() : Cvmx(KindPlayer) {}
    using Cvmx::configPath;
    using Cvmx::state;
    uint32_t& applianceIp = session.applianceIp;
    int Open() override { return 0; }
    int Close() override { return 0; }
    int Prepare() override { return 0; }
    int Release() override { return 0; }
    int Start(int) override { return 0; }
    int Stop() override {
        ++stops;
        return 0;
    }
    int Poll(int, int) override { return state; }
    int CheckInstall() override { return 0; }
    int stops = 0;
};

// The service as the manager has it.
struct ServiceFacts {
    bool exists = false;
    DWORD startType = 0;
    std::string arguments;
};

ServiceFacts QueryService() {
    ServiceFacts f;
    UniqueService manager(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT));
    if (!manager) return f;
    UniqueService service(OpenServiceA(manager.get(), kServiceName, SERVICE_QUERY_CONFIG));
    if (!service) return f;
    f.exists = true;
    DWORD needed = 0;
    QueryServiceConfigA(service.get(), nullptr, 0, &needed);
    std::unique_ptr<unsigned char[]> buffer(new unsigned char[needed + 16]);
    auto* config = reinterpret_cast<QUERY_SERVICE_CONFIGA*>(buffer.get());
    if (QueryServiceConfigA(service.get(), config, needed + 16, &needed)) f.startType = config->dwStartType;
    char value[1024] = {};
    DWORD size = sizeof value - 1;
    if (RegGetValueA(HKEY_LOCAL_MACHINE, kServiceParametersKey, kServiceArgumentsValue, RRF_RT_REG_SZ, nullptr, value,
                     &size) == ERROR_SUCCESS)
        f.arguments = value;
    return f;
}

void DeleteServiceIfAny() {
    UniqueService manager(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
    if (!manager) return;
    UniqueService service(OpenServiceA(manager.get(), kServiceName, SERVICE_ALL_ACCESS));
    if (service) DeleteService(service.get());
}

bool SetStartType(DWORD startType) {
    UniqueService manager(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
    UniqueService service(manager ? OpenServiceA(manager.get(), kServiceName, SERVICE_ALL_ACCESS) : nullptr);
    return service && ChangeServiceConfigA(service.get(), SERVICE_NO_CHANGE, startType, SERVICE_NO_CHANGE, nullptr,
                                           nullptr, nullptr, nullptr, nullptr, nullptr, nullptr);
}

// What the driver thread saw of a "Note" box.
struct NoteSeen {
    int count = 0;
    std::string text;
    bool hasIcon = true;
    std::vector<uiauto::Button> buttons;
};

class Dialogs : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(InThrowawayPrefix()) << "installs and removes the service: run through scripts/wine-fresh.sh";
        ASSERT_TRUE(scratch_.ok());
        DeleteServiceIfAny();
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
        auto fake = std::make_unique<FakeVmx>();
        vm_ = fake.get();
        vm_->state = StateStopped;
        p.backend = std::move(fake);
        p.mainWindow = CreateWindowExA(0, p.className, "dialogs test", WS_OVERLAPPEDWINDOW, 0, 0, 10, 10, nullptr,
                                       nullptr, p.instance, nullptr);
        ASSERT_NE(p.mainWindow, nullptr);
        CreateTrayIcon(g_program);
        ASSERT_NE(Tray().GetPopupMenu(), nullptr);
        UseVmx("nat");
    }
    void TearDown() override {
        Program& p = g_program;
        Tray().Destroy();
        DestroyWindow(p.mainWindow);
        p.backend.reset();
        p.mainWindow = nullptr;
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        }
        DeleteServiceIfAny();
    }

    // A VM file with this connection type (none: no such line), served by
    // the fake backend and named in the program's configuration path.
    void UseVmx(const char* connection) {
        std::string text = "config.version = \"8\"\n";
        if (connection) text += std::string("ethernet0.connectionType = \"") + connection + "\"\n";
        text += "displayName = \"Holvenstead\"\n";
        vmx_ = scratch_.Write("VM Folder\\Holvenstead.vmx", text);
        ASSERT_FALSE(vmx_.empty());
        vm_->configPath = vmx_;
        g_program.configPath = vmx_;
    }
    std::string ConnectionText() const { return ReadVmxValue(vmx_, kConnectionTypeKey).value_or("(none)"); }

    static bool NetConfigGrayed() {
        UINT s = GetMenuState(Tray().GetPopupMenu(), CmdNetConfig, MF_BYCOMMAND);
        return s != static_cast<UINT>(-1) && (s & MF_GRAYED);
    }

    // Runs open() (which shows the dialog modally on this thread) while a
    // second thread finds the dialog by its caption and hands it to drive().
    // drive() closes it; a "Note" box that follows is recorded and answered.
    // Returns what open() returned.
    INT_PTR WithDialog(const char* caption, const std::function<INT_PTR()>& open,
                       const std::function<void(HWND)>& drive) {
        std::atomic<bool> done{false};
        std::thread driver([&] {
            DWORD pid = GetCurrentProcessId();
            HWND dialog = uiauto::WaitMessageBox(caption, pid, kDialogWaitMs);
            if (!dialog) {
                ADD_FAILURE() << "no dialog \"" << caption << "\" appeared";
                return;
            }
            drive(dialog);
            // Until the dialog is gone, any "Note" box is this dialog's.
            DWORD start = GetTickCount();
            while (IsWindow(dialog) && GetTickCount() - start < kDialogWaitMs) {
                if (HWND note = uiauto::FindMessageBox("Note", pid)) {
                    ++note_.count;
                    note_.text = uiauto::MessageBoxText(note);
                    note_.hasIcon = uiauto::MessageBoxHasIcon(note);
                    note_.buttons = uiauto::ListButtons(note);
                    uiauto::PressButton(note, IDOK);
                    uiauto::WaitWindowGone(note, kDialogWaitMs);
                }
                Sleep(20);
            }
            if (IsWindow(dialog)) {
                ADD_FAILURE() << "the dialog did not close";
                PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
            }
        });
        INT_PTR result = open();
        driver.join();
        return result;
    }
    INT_PTR Options(const std::function<void(HWND)>& drive) {
        return WithDialog(
            "Options", [] { return ShowOptionsDialog(g_program.instance, g_program.mainWindow, g_program); }, drive);
    }

    struct Shown {
        int autostart = -1, bridged = -1, nat = -1;
    };
    static Shown Read(HWND dialog) {
        return Shown{uiauto::CheckState(dialog, IdcAutostart), uiauto::CheckState(dialog, IdcBridged),
                     uiauto::CheckState(dialog, IdcNat)};
    }
    // Opens Options, reads the boxes and cancels.
    Shown Peek() {
        Shown s;
        Options([&](HWND d) {
            s = Read(d);
            uiauto::PressButton(d, IDCANCEL);
        });
        return s;
    }

    ScratchDir scratch_;
    FakeVmx* vm_ = nullptr;
    std::string vmx_;
    NoteSeen note_;
};

}  // namespace

TEST_F(Dialogs, OptionsLayoutAndInitialStateFromServiceAndVmFile) {
    INT_PTR result = Options([](HWND d) {
        EXPECT_EQ(uiauto::WindowTitle(d), "Options");
        EXPECT_EQ(GetWindowLongA(d, GWL_STYLE) & WS_SYSMENU, 0) << "no system menu";
        EXPECT_EQ(uiauto::ControlText(d, IdcAutostart), "Autostart");
        EXPECT_EQ(uiauto::ControlText(d, IdcNetTypeGroup), "Net Type");
        EXPECT_EQ(uiauto::ControlText(d, IdcBridged), "Bridged");
        EXPECT_EQ(uiauto::ControlText(d, IdcNat), "NAT");
        EXPECT_FALSE(uiauto::ControlEnabled(d, IdcComPort)) << "the COM port field is disabled";
        EXPECT_EQ(uiauto::ControlText(d, IdcComPort), "");
        std::vector<uiauto::Button> buttons = uiauto::ListButtons(d);
        ASSERT_EQ(buttons.size(), 2u);
        EXPECT_EQ(buttons[0].id, IDOK);
        EXPECT_EQ(buttons[0].text, "OK");
        EXPECT_TRUE(buttons[0].isDefault);
        EXPECT_EQ(buttons[1].id, IDCANCEL);
        EXPECT_EQ(buttons[1].text, "Cancel");
        // No service, "nat" in the file.
        Shown s = Read(d);
        EXPECT_EQ(s.autostart, BST_UNCHECKED);
        EXPECT_EQ(s.bridged, BST_UNCHECKED);
        EXPECT_EQ(s.nat, BST_CHECKED);
        uiauto::PressButton(d, IDCANCEL);
    });
    EXPECT_EQ(result, IDCANCEL);

    InstallService(vmx_);
    ASSERT_TRUE(ServiceIsAutostart());
    UseVmx("bridged");
    Shown s = Peek();
    EXPECT_EQ(s.autostart, BST_CHECKED);
    EXPECT_EQ(s.bridged, BST_CHECKED);
    EXPECT_EQ(s.nat, BST_UNCHECKED);

    // No line at all counts as bridged.
    UseVmx(nullptr);
    s = Peek();
    EXPECT_EQ(s.bridged, BST_CHECKED);
    EXPECT_EQ(s.nat, BST_UNCHECKED);

    for (const char* other : {"hostonly", "custom"}) {
        UseVmx(other);
        s = Peek();
        EXPECT_EQ(s.bridged, BST_UNCHECKED) << other;
        EXPECT_EQ(s.nat, BST_UNCHECKED) << other;
    }

    // A service set to start by hand is no automatic start.
    ASSERT_TRUE(SetStartType(SERVICE_DEMAND_START));
    s = Peek();
    EXPECT_EQ(s.autostart, BST_UNCHECKED);
    EXPECT_EQ(note_.count, 0);
}

TEST_F(Dialogs, AutostartInstallsAndRemovesTheService) {
    INT_PTR result = Options([](HWND d) {
        ASSERT_TRUE(uiauto::ClickControl(d, IdcAutostart));
        EXPECT_EQ(uiauto::CheckState(d, IdcAutostart), BST_CHECKED);
        uiauto::PressButton(d, IDOK);
    });
    EXPECT_EQ(result, IDOK);
    ServiceFacts f = QueryService();
    ASSERT_TRUE(f.exists) << "checking Autostart installs the service";
    EXPECT_EQ(f.startType, static_cast<DWORD>(SERVICE_AUTO_START));
    EXPECT_EQ(f.arguments, vmx_) << "with the served file as its arguments";
    EXPECT_EQ(ConnectionText(), "nat") << "the network type was not touched";

    // OK without a change leaves the service as it is.
    Options([](HWND d) { uiauto::PressButton(d, IDOK); });
    EXPECT_TRUE(QueryService().exists);

    Options([](HWND d) {
        EXPECT_EQ(uiauto::CheckState(d, IdcAutostart), BST_CHECKED);
        ASSERT_TRUE(uiauto::ClickControl(d, IdcAutostart));
        uiauto::PressButton(d, IDOK);
    });
    EXPECT_FALSE(QueryService().exists) << "clearing Autostart removes the service";
    EXPECT_EQ(vm_->stops, 0) << "nothing is stopped";
    EXPECT_EQ(note_.count, 0);
}

TEST_F(Dialogs, AutostartOverAServiceSetToManualStartFailsSilently) {
    InstallService("C:\\earlier\\Holvenstead.vmx");
    ASSERT_TRUE(SetStartType(SERVICE_DEMAND_START));
    Options([](HWND d) {
        EXPECT_EQ(uiauto::CheckState(d, IdcAutostart), BST_UNCHECKED);
        ASSERT_TRUE(uiauto::ClickControl(d, IdcAutostart));
        uiauto::PressButton(d, IDOK);
    });
    ServiceFacts f = QueryService();
    ASSERT_TRUE(f.exists);
    EXPECT_EQ(f.startType, static_cast<DWORD>(SERVICE_DEMAND_START)) << "the existing service is left as it is";
    EXPECT_EQ(f.arguments, "C:\\earlier\\Holvenstead.vmx");
    EXPECT_EQ(Peek().autostart, BST_UNCHECKED) << "and the box shows unchecked again";
}

TEST_F(Dialogs, NetworkTypeWritesTheFileAndGraysNetConfig) {
    // Stopped VM: no note.
    UseVmx("bridged");
    Tray().SetMenuItemGrayed(CmdNetConfig, true);
    Options([](HWND d) {
        ASSERT_TRUE(uiauto::ClickControl(d, IdcNat));
        EXPECT_EQ(uiauto::CheckState(d, IdcNat), BST_CHECKED);
        EXPECT_EQ(uiauto::CheckState(d, IdcBridged), BST_UNCHECKED) << "the radio buttons are one group";
        uiauto::PressButton(d, IDOK);
    });
    EXPECT_EQ(ConnectionText(), "nat");
    EXPECT_NE(ReadFileText(vmx_).find("Ethernet0.connectionType = \"nat\""), std::string::npos) << ReadFileText(vmx_);
    EXPECT_FALSE(NetConfigGrayed()) << "NAT has a network editor to offer";
    EXPECT_FALSE(QueryService().exists) << "Autostart was not touched";

    Options([](HWND d) {
        ASSERT_TRUE(uiauto::ClickControl(d, IdcBridged));
        uiauto::PressButton(d, IDOK);
    });
    EXPECT_EQ(ConnectionText(), "bridged");
    EXPECT_TRUE(NetConfigGrayed());
    EXPECT_EQ(note_.count, 0) << "the VM is stopped: no note";
}

TEST_F(Dialogs, ChangingTheTypeWhileTheVmRunsWritesItAndShowsTheNote) {
    for (int state : {StateStarting, StateRunning}) {
        UseVmx("nat");
        vm_->state = state;
        note_ = NoteSeen{};
        Options([](HWND d) {
            ASSERT_TRUE(uiauto::ClickControl(d, IdcBridged));
            uiauto::PressButton(d, IDOK);
        });
        EXPECT_EQ(ConnectionText(), "bridged") << "written in any case (state " << state << ")";
        ASSERT_EQ(note_.count, 1) << "state " << state;
        EXPECT_EQ(note_.text, kRunningNoteText);
        EXPECT_FALSE(note_.hasIcon);
        ASSERT_EQ(note_.buttons.size(), 1u);
        EXPECT_EQ(note_.buttons[0].id, IDOK);
    }
    // The same choice as before: nothing to write, nothing to say.
    note_ = NoteSeen{};
    Options([](HWND d) { uiauto::PressButton(d, IDOK); });
    EXPECT_EQ(note_.count, 0);
}

TEST_F(Dialogs, HostOnlyAndCustomStayUnlessTheUserChoosesAType) {
    for (const char* other : {"hostonly", "custom"}) {
        UseVmx(other);
        vm_->state = StateRunning;
        note_ = NoteSeen{};
        Options([](HWND d) { uiauto::PressButton(d, IDOK); });
        EXPECT_EQ(ConnectionText(), other) << "OK without a choice keeps the file's type";
        EXPECT_EQ(note_.count, 0);

        vm_->state = StateStopped;
        Options([](HWND d) {
            ASSERT_TRUE(uiauto::ClickControl(d, IdcBridged));
            uiauto::PressButton(d, IDOK);
        });
        EXPECT_EQ(ConnectionText(), "bridged") << "choosing Bridged writes it";
    }
}

TEST_F(Dialogs, CancelAndEscapeChangeNothing) {
    UseVmx("nat");
    vm_->state = StateRunning;
    Tray().SetMenuItemGrayed(CmdNetConfig, false);
    std::string before = ReadFileText(vmx_);
    auto changeEverything = [](HWND d) {
        ASSERT_TRUE(uiauto::ClickControl(d, IdcAutostart));
        ASSERT_TRUE(uiauto::ClickControl(d, IdcBridged));
    };
    INT_PTR byButton = Options([&](HWND d) {
        changeEverything(d);
        uiauto::PressButton(d, IDCANCEL);
    });
    INT_PTR byEscape = Options([&](HWND d) {
        changeEverything(d);
        ASSERT_TRUE(uiauto::PressKey(d, VK_ESCAPE));
    });
    EXPECT_EQ(byButton, IDCANCEL);
    EXPECT_EQ(byEscape, IDCANCEL) << "Escape acts as Cancel";
    EXPECT_FALSE(QueryService().exists);
    EXPECT_EQ(ReadFileText(vmx_), before);
    EXPECT_FALSE(NetConfigGrayed());
    EXPECT_EQ(note_.count, 0);

    // And the other way round: an automatic service stays.
    InstallService(vmx_);
    Options([](HWND d) {
        ASSERT_TRUE(uiauto::ClickControl(d, IdcAutostart));
        ASSERT_TRUE(uiauto::PressKey(d, VK_ESCAPE));
    });
    EXPECT_TRUE(ServiceIsAutostart());
}

TEST_F(Dialogs, AboutShowsNameAndVersionAndClosesWithOkOrEscape) {
    auto open = [] { return ShowAboutDialog(g_program.instance, g_program.mainWindow); };
    INT_PTR ok = WithDialog("About", open, [](HWND d) {
        EXPECT_EQ(uiauto::ControlText(d, IdcAboutTitle), "Holvenstead Tray Icon");
        bool version = false;
        for (HWND w = GetWindow(d, GW_CHILD); w; w = GetWindow(w, GW_HWNDNEXT))
            if (uiauto::WindowTitle(w) == "Version 6.0.0.15432") version = true;
        EXPECT_TRUE(version) << "no \"Version 6.0.0.15432\" text";
        EXPECT_TRUE(uiauto::MessageBoxHasIcon(d)) << "the program's icon";
        EXPECT_NE(GetWindowLongA(d, GWL_STYLE) & WS_SYSMENU, 0);
        std::vector<uiauto::Button> buttons = uiauto::ListButtons(d);
        ASSERT_EQ(buttons.size(), 1u);
        EXPECT_EQ(buttons[0].text, "OK");
        EXPECT_TRUE(buttons[0].isDefault);
        uiauto::PressButton(d, IDOK);
    });
    EXPECT_EQ(ok, IDOK);
    INT_PTR escape = WithDialog("About", open, [](HWND d) { ASSERT_TRUE(uiauto::PressKey(d, VK_ESCAPE)); });
    EXPECT_EQ(escape, IDCANCEL);
}

TEST_F(Dialogs, MainWindowCommandsOpenTheDialogs) {
    auto command = [](int id) {
        return [id] { return MainWindowProc(g_program.mainWindow, WM_COMMAND, static_cast<WPARAM>(id), 0); };
    };
    WithDialog("About", command(CmdAbout), [](HWND d) {
        EXPECT_EQ(GetWindow(d, GW_OWNER), g_program.mainWindow) << "owned by the main window";
        uiauto::PressButton(d, IDOK);
    });
    WithDialog("Options", command(CmdOptions), [](HWND d) {
        EXPECT_EQ(GetWindow(d, GW_OWNER), g_program.mainWindow);
        ASSERT_TRUE(uiauto::ClickControl(d, IdcAutostart));
        uiauto::PressButton(d, IDOK);
    });
    EXPECT_TRUE(ServiceIsAutostart()) << "the Options command's OK took effect";
}
