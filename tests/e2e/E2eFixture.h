// Fixtures of the end-to-end tests of the real program (Holvenstead.exe from
// HOLV_BIN): a scratch folder, the program's path, and helpers that start it,
// wait for its main window and end it again.
#pragma once
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "UiAuto.h"
#include "e2e/E2eHarness.h"

namespace holv::e2e {

// Bounds for failures, not expectations: a Wine start-up can take seconds.
constexpr DWORD kBoxWaitMs = 30000;
constexpr DWORD kWindowWaitMs = 30000;
constexpr DWORD kEndWaitMs = 30000;
// A second instance with "exit" waits up to 60 s for the first to end.
constexpr DWORD kHandOverExitWaitMs = 90000;

// What the stand-in player association holds: the program only looks for
// "vmplayer.exe" in it and starts nothing unless asked to start the VM.
inline const char* kStandInPlayer = "\"C:\\some\\path\\vmplayer.exe\" \"%1\"";

inline std::string SystemErrorText(DWORD code) {
    char* raw = nullptr;
    DWORD n = FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                 FORMAT_MESSAGE_IGNORE_INSERTS,
                             nullptr, code, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), reinterpret_cast<char*>(&raw),
                             0, nullptr);
    UniqueLocal owner(raw);
    std::string text = (n > 0 && raw) ? std::string(raw, n) : std::string();
    if (!text.empty() && text.back() == '\n') text.pop_back();
    if (!text.empty() && text.back() == '\r') text.pop_back();
    return text;
}

class ProgramTest : public ::testing::Test {
protected:
    void SetUp() override {
        exe_ = ProgramPath("Holvenstead.exe");
        ASSERT_TRUE(FileExists(exe_)) << "Holvenstead.exe not built: " << exe_
                                      << " does not exist (HOLV_BIN=" << BinDir() << ")";
        ASSERT_TRUE(InThrowawayPrefix())
            << "these tests change the registry: run them through scripts/wine-fresh.sh";
        ASSERT_EQ(DisableCrashDialog(), ERROR_SUCCESS);
        ASSERT_TRUE(scratch_.ok()) << "no scratch folder under the temp folder";
    }

    void Start(ChildProcess& p, const std::string& args) {
        DWORD err = p.Start(exe_, args);
        ASSERT_EQ(err, 0u) << "Holvenstead.exe did not start: error " << err;
    }

    // Presses the button and waits until the box is gone, so that what
    // follows never sees the answered box still closing.
    void Answer(HWND box, int button) {
        ASSERT_TRUE(uiauto::PressButton(box, button)) << "the box has no button " << uiauto::ButtonName(button);
        ASSERT_TRUE(uiauto::WaitWindowGone(box, kBoxWaitMs)) << "the box did not close";
    }

    // Writes a configuration file in the scratch folder and returns its path.
    std::string WriteVmx(const std::string& relative, const std::string& content) {
        std::string path = scratch_.Write(relative, content);
        EXPECT_FALSE(path.empty()) << "could not write " << relative;
        return path;
    }

    // Waits until the instance shows that it runs: its hidden main window,
    // titled with the canonical configuration path. Fails early, with what
    // happened instead, if it shows a box or ends.
    HWND WaitInstanceWindow(ChildProcess& p, const std::string& canonical) {
        DWORD start = GetTickCount();
        for (;;) {
            if (HWND w = uiauto::FindTopWindow({kMainWindowClass, canonical.c_str(), p.pid()})) return w;
            if (HWND box = uiauto::FindAnyMessageBox(p.pid())) {
                ADD_FAILURE() << "instead of running, the instance shows the box \"" << uiauto::WindowTitle(box)
                              << "\": " << uiauto::MessageBoxText(box);
                return nullptr;
            }
            DWORD code = 0;
            if (p.Wait(0, &code)) {
                ADD_FAILURE() << "the instance ended with " << DescribeExit(code) << " instead of running";
                return nullptr;
            }
            if (GetTickCount() - start >= kWindowWaitMs) {
                ADD_FAILURE() << "no main window titled \"" << canonical << "\"; windows of the class:\n"
                              << DescribeMainWindows();
                return nullptr;
            }
            Sleep(50);
        }
    }

    // Ends a running instance the way a service stop does ("-stop -exit"
    // through a second instance) and checks both ends.
    void EndInstance(ChildProcess& first, const std::string& pathForm) {
        RunResult bye = RunProgram(exe_, "-stop -exit " + pathForm, kHandOverExitWaitMs);
        ASSERT_TRUE(bye.ended) << "\"-stop -exit\" did not come back";
        EXPECT_EQ(bye.exitCode, 0u) << "\"-stop -exit\" ended with " << DescribeExit(bye.exitCode);
        DWORD code = 0;
        ASSERT_TRUE(first.Wait(kEndWaitMs, &code)) << "the running instance did not end";
        EXPECT_EQ(code, 0u) << "the running instance ended with " << DescribeExit(code);
    }

    ScratchDir scratch_;
    std::string exe_;
};

// With a stand-in player registered, so that an instance gets a backend and
// stays up. The key lives only for the test.
class PlayerTest : public ProgramTest {
protected:
    void SetUp() override {
        ProgramTest::SetUp();
        if (HasFatalFailure()) return;
        association_.emplace(kStandInPlayer);
        ASSERT_EQ(association_->error(), ERROR_SUCCESS) << "could not register the stand-in player";
    }

    std::optional<ScopedPlayerAssociation> association_;
};

}  // namespace holv::e2e
