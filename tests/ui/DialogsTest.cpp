// The Options and About dialogs, opened in-process and driven from a second
// thread through uiauto, as a user would. The service is the real one of
// Wine's service manager and the VM file a real file, so this runs in a
// throwaway prefix.
#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "UiAuto.h"
#include "app/Service.h"
#include "session/VmxFile.h"
#include "session/VmxFileConnection.h"
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

// Closes a dialog with a button, or with Escape (VK_ESCAPE).
void Close(HWND dialog, int button) {
    EXPECT_TRUE(button == VK_ESCAPE ? uiauto::PressKey(dialog, VK_ESCAPE) : uiauto::PressButton(dialog, button));
}

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
                    ++notes_;
                    noteText_ = uiauto::MessageBoxText(note);
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
    INT_PTR OptionsClicking(const std::vector<int>& controls, int button = IDOK) {
        return Options([&](HWND d) {
            for (int id : controls) EXPECT_TRUE(uiauto::ClickControl(d, id)) << id;
            Close(d, button);
        });
    }
    // The boxes' states as Options opens: autostart, bridged, nat.
    std::string Peek() {
        std::string shown;
        Options([&](HWND d) {
            for (int id : {IdcAutostart, IdcBridged, IdcNat})
                shown += uiauto::CheckState(d, id) == BST_CHECKED ? 'x' : '-';
            uiauto::PressButton(d, IDCANCEL);
        });
        return shown;
    }

    // What the driver thread saw of "Note" boxes: how many, the last text.
    int notes_ = 0;
    std::string noteText_;
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
        {SERVICE_AUTO_START, nullptr, "xx-"},  // no line counts as bridged
        {SERVICE_AUTO_START, "hostonly", "x--"},
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
    }
    // Autostart over a service set to start by hand fails silently: the
    // existing service is left as it is, and the box shows unchecked again.
    OptionsClicking({IdcAutostart});
    EXPECT_EQ(QueryService().first, DWORD(SERVICE_DEMAND_START));
    EXPECT_EQ(Peek()[0], '-');
    EXPECT_EQ(notes_, 0);
}

// One run of the dialog after another: the boxes clicked, the button that
// closes it, and the service's start type then (0: none). Cancel and Escape
// change neither the service nor the VM file.
TEST_F(Dialogs, AutostartInstallsAndRemovesTheService) {
    vm_->state = StateRunning;
    const std::string before = ReadFileText(vmx_);
    const struct {
        std::vector<int> clicks;
        int button;
        DWORD service;
    } steps[] = {
        {{IdcAutostart}, IDOK, SERVICE_AUTO_START},
        {{}, IDOK, SERVICE_AUTO_START},
        {{IdcAutostart, IdcBridged}, IDCANCEL, SERVICE_AUTO_START},
        {{IdcAutostart, IdcBridged}, VK_ESCAPE, SERVICE_AUTO_START},
        {{IdcAutostart}, IDOK, 0},
        {{IdcAutostart, IdcBridged}, VK_ESCAPE, 0},
    };
    for (const auto& s : steps) {
        EXPECT_EQ(OptionsClicking(s.clicks, s.button), s.button == IDOK ? IDOK : IDCANCEL);
        EXPECT_EQ(QueryService(), std::make_pair(s.service, s.service ? vmx_ : std::string()))
            << "after " << s.clicks.size() << " clicks, button " << s.button;
    }
    EXPECT_EQ(ReadFileText(vmx_), before) << "the network type was not touched";
    EXPECT_EQ(vm_->stops, 0) << "nothing is stopped";
    EXPECT_EQ(notes_, 0);
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
        {"bridged", StateStopped, IdcNat, "nat", false},        {"nat", StateStarting, IdcBridged, "bridged", true},
        {"nat", StateRunning, IdcBridged, "bridged", true},     {"hostonly", StateRunning, 0, "hostonly", false},
        {"custom", StateStopped, IdcBridged, "bridged", false},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(std::string(r.before) + " state " + std::to_string(r.state));
        UseVmx(r.before);
        vm_->state = r.state;
        notes_ = 0;
        noteText_.clear();
        Tray().SetMenuItemGrayed(CmdNetConfig, std::string(r.before) != "nat");
        OptionsClicking(r.click ? std::vector<int>{r.click} : std::vector<int>{});
        EXPECT_EQ(ConnectionText(), r.after);
        EXPECT_EQ(Grayed(CmdNetConfig), std::string(r.after) != "nat") << "NAT has a network editor";
        ASSERT_EQ(notes_, r.note ? 1 : 0);
        EXPECT_EQ(noteText_, r.note ? kRunningNoteText : "");
    }
    EXPECT_NE(ReadFileText(vmx_).find("Ethernet0.connectionType = \"bridged\""), std::string::npos);
    EXPECT_EQ(QueryService().first, 0u) << "Autostart was not touched";
}

// The main window's commands open the dialogs, owned by the main window;
// About closes with OK or Escape.
TEST_F(Dialogs, MainWindowCommandsOpenTheDialogs) {
    auto command = [](int id) { return [id] { return Command(id); }; };
    for (int key : {IDOK, VK_ESCAPE}) {
        WithDialog("About", command(CmdAbout), [key](HWND d) {
            EXPECT_EQ(GetWindow(d, GW_OWNER), g_program.mainWindow) << "owned by the main window";
            Close(d, key);
        });
    }
    WithDialog("Options", command(CmdOptions), [](HWND d) {
        EXPECT_EQ(GetWindow(d, GW_OWNER), g_program.mainWindow);
        ASSERT_TRUE(uiauto::ClickControl(d, IdcAutostart));
        Close(d, IDOK);
    });
    EXPECT_TRUE(ServiceIsAutostart()) << "the Options command's OK took effect";
}
