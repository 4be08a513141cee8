// An instance for another configuration file meets the running one: the
// "Conflicting application" box, and what each of its answers does.
#include "e2e/E2eFixture.h"

namespace holv::e2e {
namespace {

class Conflict : public PlayerTest {
protected:
    void SetUp() override {
        PlayerTest::SetUp();
        if (HasFatalFailure()) return;
        pathA_ = WriteVmx("First Appliance\\FirstMachine.vmx");
        pathB_ = WriteVmx("Second Appliance\\SecondMachine.vmx");
        ASSERT_NO_FATAL_FAILURE(Start(first_, pathA_));
        ASSERT_NE(WaitInstanceWindow(first_, pathA_), nullptr);
        ASSERT_NO_FATAL_FAILURE(Start(second_, pathB_));
    }

    // The box as the user must read it: the other program named by its full
    // path, the warning icon, Abort/Retry/Ignore with Retry the default.
    HWND WaitConflictBox() {
        HWND box = uiauto::WaitMessageBox("Conflicting application", second_.pid(), kWaitMs);
        EXPECT_NE(box, nullptr) << "no \"Conflicting application\" box from the second instance";
        if (!box) return nullptr;
        const std::string text = uiauto::MessageBoxText(box),
                          head =
                              "A conflicting application is already running.\n"
                              "These two applications can't run concurrently without disturbing each other's "
                              "operation.\n\nPlease shut down\n",
                          tail =
                              "\nfirst, then press Retry.\nPress Abort to abort the start of this Holvenstead.\n"
                              "Press Ignore to continue anyway.";
        EXPECT_GE(text.size(), head.size() + tail.size()) << text;
        if (text.size() < head.size() + tail.size()) return box;
        EXPECT_EQ(text.substr(0, head.size()), head);
        EXPECT_EQ(text.substr(text.size() - tail.size()), tail);
        std::string program = text.substr(head.size(), text.size() - head.size() - tail.size());
        EXPECT_EQ(lstrcmpiA(program.c_str(), exe_.c_str()), 0) << "the box names " << program;
        EXPECT_TRUE(uiauto::MessageBoxHasIcon(box));
        std::vector<uiauto::Button> buttons = uiauto::ListButtons(box);
        EXPECT_EQ(buttons.size(), 3u);
        if (buttons.size() == 3) {
            EXPECT_EQ(buttons[0].id, IDABORT);
            EXPECT_EQ(buttons[1].id, IDRETRY);
            EXPECT_EQ(buttons[2].id, IDIGNORE);
            EXPECT_TRUE(buttons[1].isDefault) << "Retry is not the default button";
        }
        return box;
    }

    ChildProcess first_, second_;
    std::string pathA_, pathB_;
};

TEST_F(Conflict, AbortEndsTheNewInstanceWith170) {
    HWND box = WaitConflictBox();
    ASSERT_NE(box, nullptr);
    ASSERT_NO_FATAL_FAILURE(Answer(box, IDABORT));
    DWORD code = 0;
    ASSERT_TRUE(second_.Wait(kWaitMs, &code)) << "Abort did not end the new instance";
    EXPECT_EQ(code, 170u) << DescribeExit(code);
    EXPECT_TRUE(first_.Running()) << "Abort in the new instance ended the running one";
    ASSERT_NO_FATAL_FAILURE(EndInstance(first_, pathA_));
}

TEST_F(Conflict, IgnoreLetsTheNewInstanceStartBesideTheFirst) {
    HWND box = WaitConflictBox();
    ASSERT_NE(box, nullptr);
    ASSERT_NO_FATAL_FAILURE(Answer(box, IDIGNORE));
    ASSERT_NE(WaitInstanceWindow(second_, pathB_), nullptr);
    EXPECT_TRUE(first_.Running());
    ASSERT_NO_FATAL_FAILURE(EndInstance(second_, pathB_));
    ASSERT_NO_FATAL_FAILURE(EndInstance(first_, pathA_));
}

TEST_F(Conflict, RetryAsksAgainUntilTheOtherInstanceIsGone) {
    HWND box = WaitConflictBox();
    ASSERT_NE(box, nullptr);
    ASSERT_NO_FATAL_FAILURE(Answer(box, IDRETRY));
    HWND again = WaitConflictBox();
    ASSERT_NE(again, nullptr);
    ASSERT_NO_FATAL_FAILURE(EndInstance(first_, pathA_));
    ASSERT_NO_FATAL_FAILURE(Answer(again, IDRETRY));
    ASSERT_NE(WaitInstanceWindow(second_, pathB_), nullptr);
    ASSERT_NO_FATAL_FAILURE(EndInstance(second_, pathB_));
}

}  // namespace
}  // namespace holv::e2e
