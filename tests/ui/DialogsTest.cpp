// The Options and About dialogs, opened in-process and driven from a second
// thread through uiauto, as a user would. The service is the real one of
// Wine's service manager and the VM file a real file, so this runs in a
// throwaway prefix.
#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "UiAuto.h"
#include "app/Service.h"
#include "session/VmxFile.h"
#include "session/VmxFileConnection.h"
#include "ui/AboutDialog.h"
#include "ui/MainWindowFixture.h"
#include "ui/OptionsDialog.h"

using namespace holv;
using namespace holv::e2e;

namespace {

constexpr DWORD kDialogWaitMs = 30000;

// The service as the manager has it: its start type (0: no service) and
// stored arguments.
std::pair<DWORD, std::string> QueryService() {
    UniqueService manager(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT));
    UniqueService service(manager ? OpenServiceA(manager.get(), kServiceName, SERVICE_QUERY_CONFIG) : nullptr);
    if (!service) return {0, ""};
    DWORD needed = 0;
    QueryServiceConfigA(service.get(), nullptr, 0, &needed);
    std::unique_ptr<unsigned char[]> buffer(new unsigned char[needed + 16]);
    auto* config = reinterpret_cast<QUERY_SERVICE_CONFIGA*>(buffer.get());
    DWORD startType = QueryServiceConfigA(service.get(), config, needed + 16, &needed) ? config->dwStartType : 99;
    char value[1024] = {};
    DWORD size = sizeof value - 1;
    RegGetValueA(HKEY_LOCAL_MACHINE, kServiceParametersKey, kServiceArgumentsValue, RRF_RT_REG_SZ, nullptr, value,
                 &size);
    return {startType, value};
}

bool SetStartType(DWORD startType) {
    UniqueService manager(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
    UniqueService service(manager ? OpenServiceA(manager.get(), kServiceName, SERVICE_ALL_ACCESS) : nullptr);
    return service && ChangeServiceConfigA(service.get(), SERVICE_NO_CHANGE, startType, SERVICE_NO_CHANGE, nullptr,
                                           nullptr, nullptr, nullptr, nullptr, nullptr, nullptr);
}

// What the driver thread saw of "Note" boxes.
struct NoteSeen {
    int count = 0;
    std::string text;
    bool hasIcon = true;
    size_t buttons = 0;
};

class Dialogs : public test::MainWindowFixture {
protected:
    void SetUp() override {
        ASSERT_TRUE(InThrowawayPrefix()) << "installs and removes the service: run through scripts/wine-fresh.sh";
        RemoveService();
        MainWindowFixture::SetUp();
    }
    void TearDown() override {
        MainWindowFixture::TearDown();
        RemoveService();
    }
    std::string ConnectionText() const { return ReadVmxValue(vmx_, kConnectionTypeKey).value_or("(none)"); }

    // Runs open() (which shows the dialog modally on this thread) while a
    // second thread finds the dialog by its caption and hands it to drive().
    // drive() closes it; a "Note" box that follows is recorded and answered.
    INT_PTR WithDialog(const char* caption, const std::function<INT_PTR()>& open,
                       const std::function<void(HWND)>& drive) {
        std::thread driver([&] {
            DWORD pid = GetCurrentProcessId();
            HWND dialog = uiauto::WaitMessageBox(caption, pid, kDialogWaitMs);
            if (!dialog) {
                ADD_FAILURE() << "no dialog \"" << caption << "\" appeared";
                return;
            }
            drive(dialog);
            DWORD start = GetTickCount();
            while (IsWindow(dialog) && GetTickCount() - start < kDialogWaitMs) {
                if (HWND note = uiauto::FindMessageBox("Note", pid)) {
                    ++note_.count;
                    note_.text = uiauto::MessageBoxText(note);
                    note_.hasIcon = uiauto::MessageBoxHasIcon(note);
                    note_.buttons = uiauto::ListButtons(note).size();
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
    // Opens Options, clicks these controls, and closes with this button.
    INT_PTR OptionsClicking(std::initializer_list<int> controls, int button = IDOK) {
        return Options([&](HWND d) {
            for (int id : controls) EXPECT_TRUE(uiauto::ClickControl(d, id)) << id;
            if (button == VK_ESCAPE)
                EXPECT_TRUE(uiauto::PressKey(d, VK_ESCAPE));
            else
                uiauto::PressButton(d, button);
        });
    }
    // The boxes' states as Options opens: autostart, bridged, nat.
    std::string Peek() {
        std::string shown;
        Options([&](HWND d) {
            for (int id : {IdcAutostart, IdcBridged, IdcNat})
                shown += uiauto::CheckState(d, id) == BST_CHECKED ? 'x' : '-';
            comPortEnabled_ = uiauto::ControlEnabled(d, IdcComPort);
            uiauto::PressButton(d, IDCANCEL);
        });
        return shown;
    }

    NoteSeen note_;
    bool comPortEnabled_ = true;
};

}  // namespace

// Each row: the service (0: none) and the file's connection type (null: no
// line), and the boxes Options shows (autostart, bridged, nat).
TEST_F(Dialogs, OptionsShowTheServiceAndTheVmFile) {
    const struct {
        DWORD service;
        const char* connection;
        const char* shown;
    } rows[] = {
        {0, "nat", "--x"},
        {SERVICE_AUTO_START, "bridged", "xx-"},
        {SERVICE_AUTO_START, nullptr, "xx-"},  // no line counts as bridged
        {SERVICE_AUTO_START, "hostonly", "x--"},
        {SERVICE_AUTO_START, "custom", "x--"},
        {SERVICE_DEMAND_START, "nat", "--x"},  // started by hand: no automatic start
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.connection ? r.connection : "(none)");
        RemoveService();
        if (r.service) {
            InstallService(vmx_);
            ASSERT_TRUE(SetStartType(r.service));
        }
        UseVmx(r.connection);
        EXPECT_EQ(Peek(), r.shown) << "start type " << r.service;
        EXPECT_FALSE(comPortEnabled_) << "the COM port field is disabled";
    }
    EXPECT_EQ(note_.count, 0);
}

TEST_F(Dialogs, AutostartInstallsAndRemovesTheService) {
    EXPECT_EQ(OptionsClicking({IdcAutostart}), IDOK);
    EXPECT_EQ(QueryService(), std::make_pair(DWORD(SERVICE_AUTO_START), vmx_)) << "with the served file";
    EXPECT_EQ(ConnectionText(), "nat") << "the network type was not touched";
    OptionsClicking({});
    EXPECT_EQ(QueryService().first, DWORD(SERVICE_AUTO_START)) << "OK without a change keeps it";
    OptionsClicking({IdcAutostart});
    EXPECT_EQ(QueryService().first, 0u) << "clearing Autostart removes the service";
    EXPECT_EQ(vm_->stops, 0) << "nothing is stopped";
    EXPECT_EQ(note_.count, 0);
}

TEST_F(Dialogs, AutostartOverAServiceSetToManualStartFailsSilently) {
    InstallService("C:\\earlier\\Holvenstead.vmx");
    ASSERT_TRUE(SetStartType(SERVICE_DEMAND_START));
    OptionsClicking({IdcAutostart});
    EXPECT_EQ(QueryService(), std::make_pair(DWORD(SERVICE_DEMAND_START), std::string("C:\\earlier\\Holvenstead.vmx")))
        << "the existing service is left as it is";
    EXPECT_EQ(Peek()[0], '-') << "and the box shows unchecked again";
}

// Each row: the file's type, the VM's state, the box clicked (0: none), and
// the type then in the file; a running or starting VM that got a new type
// gets the note too.
TEST_F(Dialogs, NetworkTypeIsWrittenAndARunningVmGetsANote) {
    const struct {
        const char* before;
        int state, click;
        const char* after;
        bool note;
    } rows[] = {
        {"bridged", StateStopped, IdcNat, "nat", false},
        {"nat", StateStopped, IdcBridged, "bridged", false},
        {"nat", StateStarting, IdcBridged, "bridged", true},
        {"nat", StateRunning, IdcBridged, "bridged", true},
        {"nat", StateRunning, 0, "nat", false},
        {"hostonly", StateRunning, 0, "hostonly", false},
        {"custom", StateRunning, 0, "custom", false},
        {"custom", StateStopped, IdcBridged, "bridged", false},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(std::string(r.before) + " state " + std::to_string(r.state));
        UseVmx(r.before);
        vm_->state = r.state;
        note_ = NoteSeen{};
        Tray().SetMenuItemGrayed(CmdNetConfig, std::string(r.before) != "nat");
        if (r.click)
            OptionsClicking({r.click});
        else
            OptionsClicking({});
        EXPECT_EQ(ConnectionText(), r.after);
        EXPECT_EQ(Grayed(CmdNetConfig), std::string(r.after) != "nat") << "NAT has a network editor";
        ASSERT_EQ(note_.count, r.note ? 1 : 0);
        if (r.note) {
            EXPECT_EQ(note_.text, kRunningNoteText);
            EXPECT_FALSE(note_.hasIcon);
            EXPECT_EQ(note_.buttons, 1u);
        }
    }
    EXPECT_NE(ReadFileText(vmx_).find("Ethernet0.connectionType = \"bridged\""), std::string::npos);
    EXPECT_EQ(QueryService().first, 0u) << "Autostart was not touched";
}

TEST_F(Dialogs, CancelAndEscapeChangeNothing) {
    vm_->state = StateRunning;
    std::string before = ReadFileText(vmx_);
    EXPECT_EQ(OptionsClicking({IdcAutostart, IdcBridged}, IDCANCEL), IDCANCEL);
    EXPECT_EQ(OptionsClicking({IdcAutostart, IdcBridged}, VK_ESCAPE), IDCANCEL) << "Escape acts as Cancel";
    EXPECT_EQ(QueryService().first, 0u);
    EXPECT_EQ(ReadFileText(vmx_), before);
    EXPECT_EQ(note_.count, 0);
    // And the other way round: an automatic service stays.
    InstallService(vmx_);
    OptionsClicking({IdcAutostart}, VK_ESCAPE);
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
        EXPECT_EQ(uiauto::ListButtons(d).size(), 1u);
        uiauto::PressButton(d, IDOK);
    });
    EXPECT_EQ(ok, IDOK);
    INT_PTR escape = WithDialog("About", open, [](HWND d) { ASSERT_TRUE(uiauto::PressKey(d, VK_ESCAPE)); });
    EXPECT_EQ(escape, IDCANCEL);
}

TEST_F(Dialogs, MainWindowCommandsOpenTheDialogs) {
    auto command = [](int id) { return [id] { return Command(id); }; };
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
