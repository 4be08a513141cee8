// The fixture of the end-to-end tests of the real program (Holvenstead.exe
// from HOLV_BIN): a scratch folder, a stand-in player association when asked
// for, and helpers that start an instance, see it run and end it.
#pragma once
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "UiAuto.h"
#include "e2e/E2eHarness.h"

namespace holv::e2e {

// Bounds for failures, not expectations: a Wine start-up can take seconds,
// and "-exit" waits up to 60 s for the running instance.
constexpr DWORD kWaitMs = 30000;
constexpr DWORD kExitWaitMs = 90000;

class ProgramTest : public ::testing::Test {
protected:
    // withPlayer: an association naming "vmplayer.exe", so that an instance
    // gets a backend and stays up (it starts nothing unless asked to).
    explicit ProgramTest(bool withPlayer = false) : withPlayer_(withPlayer) {}

    void SetUp() override {
        exe_ = ProgramPath("Holvenstead.exe");
        ASSERT_TRUE(FileExists(exe_)) << exe_ << " not built";
        ASSERT_TRUE(InThrowawayPrefix()) << "changes the registry: run through scripts/wine-fresh.sh";
        ASSERT_EQ(DisableCrashDialog(), ERROR_SUCCESS);
        ASSERT_TRUE(scratch_.ok());
        if (withPlayer_) {
            association_.emplace("\"C:\\some\\path\\vmplayer.exe\" \"%1\"");
            ASSERT_EQ(association_->error(), ERROR_SUCCESS);
        }
    }

    void Start(ChildProcess& p, const std::string& args) { ASSERT_EQ(p.Start(exe_, args), 0u); }

    std::string WriteVmx(const std::string& relative, const std::string& content = ValidVmx()) {
        std::string path = scratch_.Write(relative, content);
        EXPECT_FALSE(path.empty()) << "could not write " << relative;
        return path;
    }

    // Presses the button and waits until the box is gone.
    void Answer(HWND box, int button) {
        ASSERT_TRUE(uiauto::PressButton(box, button));
        ASSERT_TRUE(uiauto::WaitWindowGone(box, kWaitMs)) << "the box did not close";
    }

    // The instance's hidden main window, once it runs, titled with the file's
    // full long path in its true letter case (`title`). Fails early,
    // with what happened instead, if the instance shows a box or ends.
    HWND WaitInstanceWindow(ChildProcess& p, const std::string& title) {
        for (DWORD start = GetTickCount(); GetTickCount() - start < kWaitMs; Sleep(50)) {
            if (HWND w = uiauto::FindTopWindow({kMainWindowClass, title.c_str(), p.pid()})) return w;
            if (HWND box = uiauto::FindAnyMessageBox(p.pid())) {
                ADD_FAILURE() << "the instance shows \"" << uiauto::WindowTitle(box)
                              << "\": " << uiauto::MessageBoxText(box);
                return nullptr;
            }
            DWORD code = 0;
            if (p.Wait(0, &code)) {
                ADD_FAILURE() << "the instance ended with " << DescribeExit(code) << " instead of running";
                return nullptr;
            }
        }
        ADD_FAILURE() << "no main window titled " << title << "; windows of the class:\n" << DescribeMainWindows();
        return nullptr;
    }

    // Ends a running instance as a service stop does ("-stop -exit" through
    // a second instance, the file named as pathForm) and checks both ends.
    void EndInstance(ChildProcess& first, const std::string& pathForm) {
        RunResult bye = RunProgram(exe_, "-stop -exit " + pathForm, kExitWaitMs);
        ASSERT_TRUE(bye.ended) << "\"-stop -exit\" did not come back";
        EXPECT_EQ(bye.exitCode, 0u) << DescribeExit(bye.exitCode);
        DWORD code = 0;
        ASSERT_TRUE(first.Wait(kWaitMs, &code)) << "the running instance did not end";
        EXPECT_EQ(code, 0u) << DescribeExit(code);
    }

    ScratchDir scratch_;
    std::string exe_;
    bool withPlayer_;
    std::optional<ScopedPlayerAssociation> association_;
};

class PlayerTest : public ProgramTest {
protected:
    PlayerTest() : ProgramTest(true) {}
};

}  // namespace holv::e2e
