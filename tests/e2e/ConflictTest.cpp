// An instance for another configuration file meets the running one: the
// "Conflicting application" box, and what each of its answers does.
#include <cstdio>

#include "e2e/E2eFixture.h"

namespace holv::e2e {
namespace {

using uiauto::Button;

constexpr const char* kConflictCaption = "Conflicting application";

class Conflict : public PlayerTest {
protected:
    void SetUp() override {
        PlayerTest::SetUp();
        if (HasFatalFailure()) return;
        pathA_ = WriteVmx("First Appliance\\FirstMachine.vmx", ValidVmx());
        pathB_ = WriteVmx("Second Appliance\\SecondMachine.vmx", ValidVmx());
        ASSERT_FALSE(pathA_.empty() || pathB_.empty());
    }

    // Starts the first instance (for A) and waits until it runs.
    void StartFirst(ChildProcess& first) {
        ASSERT_NO_FATAL_FAILURE(Start(first, pathA_));
        ASSERT_NE(WaitInstanceWindow(first, CanonicalPathOf(pathA_)), nullptr);
    }

    // Checks the box against what the user must read: the other program named
    // by its executable's full path, the warning icon, Abort/Retry/Ignore
    // with Retry the default.
    void ExpectConflictBox(HWND box) {
        std::string text = uiauto::MessageBoxText(box);
        const std::string head =
            "A conflicting application is already running.\n"
            "These two applications can't run concurrently without disturbing each other's operation.\n"
            "\n"
            "Please shut down\n";
        const std::string tail =
            "\nfirst, then press Retry.\n"
            "Press Abort to abort the start of this Holvenstead.\n"
            "Press Ignore to continue anyway.";
        ASSERT_GE(text.size(), head.size() + tail.size()) << text;
        EXPECT_EQ(text.substr(0, head.size()), head);
        EXPECT_EQ(text.substr(text.size() - tail.size()), tail);
        // The path as the system reports the module: letter case may differ.
        std::string program = text.substr(head.size(), text.size() - head.size() - tail.size());
        EXPECT_EQ(lstrcmpiA(program.c_str(), exe_.c_str()), 0)
            << "the box names \"" << program << "\", not " << exe_;

        EXPECT_TRUE(uiauto::MessageBoxHasIcon(box));
        std::vector<Button> buttons = uiauto::ListButtons(box);
        ASSERT_EQ(buttons.size(), 3u);
        EXPECT_EQ(buttons[0].id, IDABORT);
        EXPECT_EQ(buttons[1].id, IDRETRY);
        EXPECT_EQ(buttons[2].id, IDIGNORE);
        EXPECT_TRUE(buttons[1].isDefault) << "Retry is not the default button";
    }

    HWND WaitConflictBox(ChildProcess& p) {
        HWND box = uiauto::WaitMessageBox(kConflictCaption, p.pid(), kBoxWaitMs);
        EXPECT_NE(box, nullptr) << "no \"" << kConflictCaption << "\" box from the second instance";
        return box;
    }

    std::string pathA_;
    std::string pathB_;
};

TEST_F(Conflict, AbortEndsTheNewInstanceWith170) {
    ChildProcess first, second;
    ASSERT_NO_FATAL_FAILURE(StartFirst(first));
    ASSERT_NO_FATAL_FAILURE(Start(second, pathB_));
    HWND box = WaitConflictBox(second);
    ASSERT_NE(box, nullptr);
    ASSERT_NO_FATAL_FAILURE(ExpectConflictBox(box));

    ASSERT_NO_FATAL_FAILURE(Answer(box, IDABORT));
    DWORD code = 0;
    ASSERT_TRUE(second.Wait(kEndWaitMs, &code)) << "Abort did not end the new instance";
    EXPECT_EQ(code, 170u) << DescribeExit(code);
    EXPECT_TRUE(first.Running()) << "Abort in the new instance ended the running one";
    ASSERT_NO_FATAL_FAILURE(EndInstance(first, pathA_));
}

TEST_F(Conflict, IgnoreLetsTheNewInstanceStart) {
    ChildProcess first, second;
    ASSERT_NO_FATAL_FAILURE(StartFirst(first));
    ASSERT_NO_FATAL_FAILURE(Start(second, pathB_));
    HWND box = WaitConflictBox(second);
    ASSERT_NE(box, nullptr);

    ASSERT_NO_FATAL_FAILURE(Answer(box, IDIGNORE));
    ASSERT_NE(WaitInstanceWindow(second, CanonicalPathOf(pathB_)), nullptr);
    EXPECT_TRUE(first.Running());
    // Both run side by side; each is ended through its own file.
    ASSERT_NO_FATAL_FAILURE(EndInstance(second, pathB_));
    ASSERT_NO_FATAL_FAILURE(EndInstance(first, pathA_));
}

TEST_F(Conflict, RetryAsksAgainUntilTheOtherInstanceIsGone) {
    ChildProcess first, second;
    ASSERT_NO_FATAL_FAILURE(StartFirst(first));
    ASSERT_NO_FATAL_FAILURE(Start(second, pathB_));
    HWND box = WaitConflictBox(second);
    ASSERT_NE(box, nullptr);

    // The other instance still runs: the same question again.
    ASSERT_NO_FATAL_FAILURE(Answer(box, IDRETRY));
    HWND again = WaitConflictBox(second);
    ASSERT_NE(again, nullptr);
    ASSERT_NO_FATAL_FAILURE(ExpectConflictBox(again));

    // Once it has ended, Retry lets the new instance start.
    ASSERT_NO_FATAL_FAILURE(EndInstance(first, pathA_));
    ASSERT_NO_FATAL_FAILURE(Answer(again, IDRETRY));
    ASSERT_NE(WaitInstanceWindow(second, CanonicalPathOf(pathB_)), nullptr);
    ASSERT_NO_FATAL_FAILURE(EndInstance(second, pathB_));
}

}  // namespace
}  // namespace holv::e2e
