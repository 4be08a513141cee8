// The UI automation helper, library and console program, against message
// boxes and windows of known content (boxprobe.exe), so that it is proven on
// its own before the end-to-end tests rely on it.
#include <gtest/gtest.h>

#include "UiAuto.h"
#include "e2e/E2eHarness.h"

using namespace holv::e2e;
using namespace holv::uiauto;

namespace {

// Generous: a program's first window under Wine may take seconds to come up.
constexpr DWORD kBoxWaitMs = 20000;
constexpr DWORD kEndWaitMs = 20000;
constexpr UINT kConflictLike = MB_ABORTRETRYIGNORE | MB_ICONWARNING | MB_DEFBUTTON2;

std::string WithoutCr(const std::string& s) {
    std::string out;
    for (char c : s)
        if (c != '\r') out += c;
    return out;
}

class UiAutoTest : public ::testing::Test {
protected:
    void SetUp() override {
        probe_ = ProgramPath("boxprobe.exe");
        tool_ = ProgramPath("uiauto.exe");
        ASSERT_TRUE(FileExists(probe_)) << "boxprobe.exe not built: " << probe_;
        ASSERT_TRUE(FileExists(tool_)) << "uiauto.exe not built: " << tool_;
    }

    // Starts a probe that shows one box and returns the box once it is up.
    HWND StartBox(ChildProcess& p, UINT flags, const std::string& caption, const std::string& text) {
        std::string args = "box " + std::to_string(flags) + " \"" + caption + "\" \"" + text + "\"";
        DWORD err = p.Start(probe_, args);
        EXPECT_EQ(err, 0u) << "boxprobe did not start";
        if (err) return nullptr;
        HWND box = WaitMessageBox(caption.c_str(), p.pid(), kBoxWaitMs);
        EXPECT_NE(box, nullptr) << "no box \"" << caption << "\" from the probe";
        return box;
    }

    DWORD EndCode(ChildProcess& p) {
        DWORD code = 0xFFFFFFFF;
        EXPECT_TRUE(p.Wait(kEndWaitMs, &code)) << "the probe did not end";
        return code;
    }

    RunResult Tool(const std::string& args) { return RunProgram(tool_, args, kEndWaitMs + kBoxWaitMs); }

    std::string probe_;
    std::string tool_;
};

TEST_F(UiAutoTest, ReadsTextButtonsAndIconOfABox) {
    ChildProcess p;
    HWND box = StartBox(p, kConflictLike, "Probe conflict", "First line\\nSecond line");
    ASSERT_NE(box, nullptr);

    EXPECT_EQ(MessageBoxText(box), "First line\nSecond line");
    EXPECT_TRUE(MessageBoxHasIcon(box));
    std::vector<Button> buttons = ListButtons(box);
    ASSERT_EQ(buttons.size(), 3u);
    EXPECT_EQ(buttons[0].id, IDABORT);
    EXPECT_EQ(buttons[1].id, IDRETRY);
    EXPECT_EQ(buttons[2].id, IDIGNORE);
    EXPECT_EQ(buttons[0].text, "&Abort");
    EXPECT_EQ(buttons[1].text, "&Retry");
    EXPECT_EQ(buttons[2].text, "&Ignore");
    EXPECT_FALSE(buttons[0].isDefault);
    EXPECT_TRUE(buttons[1].isDefault);
    EXPECT_FALSE(buttons[2].isDefault);

    ASSERT_TRUE(PressButton(box, IDIGNORE));
    EXPECT_TRUE(WaitWindowGone(box, kEndWaitMs));
    EXPECT_EQ(EndCode(p), static_cast<DWORD>(IDIGNORE));
}

TEST_F(UiAutoTest, BoxWithoutIconShowsNone) {
    ChildProcess p;
    HWND box = StartBox(p, MB_OK, "Probe plain", "Nothing to see");
    ASSERT_NE(box, nullptr);
    EXPECT_FALSE(MessageBoxHasIcon(box));
    ASSERT_EQ(ListButtons(box).size(), 1u);
    ASSERT_TRUE(PressButtonByText(box, "ok"));
    EXPECT_EQ(EndCode(p), static_cast<DWORD>(IDOK));
}

TEST_F(UiAutoTest, PressesByTextWithOrWithoutMnemonicAndRefusesMissingButtons) {
    ChildProcess p;
    HWND box = StartBox(p, kConflictLike, "Probe by text", "Choose");
    ASSERT_NE(box, nullptr);

    EXPECT_EQ(FindButtonByText(box, "retry"), IDRETRY);
    EXPECT_EQ(FindButtonByText(box, "&Ignore"), IDIGNORE);
    EXPECT_EQ(FindButtonByText(box, "ABORT"), IDABORT);
    EXPECT_EQ(FindButtonByText(box, "Yes"), 0);
    EXPECT_FALSE(PressButton(box, IDYES));
    EXPECT_FALSE(PressButton(box, IDOK));
    EXPECT_FALSE(PressButtonByText(box, "Cancel"));
    // Refused presses leave the box as it was.
    Sleep(200);
    EXPECT_TRUE(IsWindow(box));

    ASSERT_TRUE(PressButtonByText(box, "&Abort"));
    EXPECT_EQ(EndCode(p), static_cast<DWORD>(IDABORT));
}

TEST_F(UiAutoTest, ProcessIdKeepsBoxesOfTheSameCaptionApart) {
    ChildProcess first, second;
    HWND a = StartBox(first, kConflictLike, "Probe twin", "one");
    HWND b = StartBox(second, kConflictLike, "Probe twin", "two");
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    EXPECT_NE(a, b);
    EXPECT_EQ(WindowProcessId(a), first.pid());
    EXPECT_EQ(WindowProcessId(b), second.pid());
    EXPECT_EQ(MessageBoxText(a), "one");
    EXPECT_EQ(MessageBoxText(b), "two");
    EXPECT_EQ(FindMessageBox("Probe twin", GetCurrentProcessId()), nullptr);
    EXPECT_EQ(FindMessageBox("Probe twin with another caption", 0), nullptr);

    ASSERT_TRUE(PressButton(a, IDRETRY));
    ASSERT_TRUE(PressButton(b, IDABORT));
    EXPECT_EQ(EndCode(first), static_cast<DWORD>(IDRETRY));
    EXPECT_EQ(EndCode(second), static_cast<DWORD>(IDABORT));
}

TEST_F(UiAutoTest, FindsHiddenTopLevelAndMessageOnlyWindows) {
    ChildProcess p;
    ASSERT_EQ(p.Start(probe_, "windows HolvProbeClass \"Holv probe window\""), 0u);
    HWND box = WaitMessageBox("Holv probe window probe", p.pid(), kBoxWaitMs);
    ASSERT_NE(box, nullptr) << "the probe did not get its windows up";

    HWND top = FindTopWindow({"HolvProbeClass", "Holv probe window", p.pid()});
    ASSERT_NE(top, nullptr);
    EXPECT_FALSE(IsWindowVisible(top));
    EXPECT_EQ(FindTopWindow({"HolvProbeClass", "Another title", 0}), nullptr);
    EXPECT_EQ(FindTopWindow({"HolvProbeClass", "Holv probe window", GetCurrentProcessId()}), nullptr);

    HWND parked = FindMessageOnlyWindow({"HolvProbeClass", "Holv probe window", p.pid()});
    ASSERT_NE(parked, nullptr);
    EXPECT_NE(parked, top);
    EXPECT_EQ(FindMessageOnlyWindow({"HolvProbeClass", "Holv probe window", GetCurrentProcessId()}), nullptr);
    EXPECT_EQ(FindMessageOnlyWindow({"HolvProbeClass", "Another title", 0}), nullptr);

    ASSERT_TRUE(PressButton(box, IDOK));
    EXPECT_EQ(EndCode(p), 0u);
    EXPECT_EQ(FindTopWindow({"HolvProbeClass", "Holv probe window", 0}), nullptr);
    EXPECT_EQ(FindMessageOnlyWindow({"HolvProbeClass", "Holv probe window", 0}), nullptr);
}

TEST(UiAutoNames, ButtonNamesAndNumbers) {
    EXPECT_EQ(ButtonIdFromName("abort"), IDABORT);
    EXPECT_EQ(ButtonIdFromName("IDRETRY"), IDRETRY);
    EXPECT_EQ(ButtonIdFromName("Ignore"), IDIGNORE);
    EXPECT_EQ(ButtonIdFromName("ok"), IDOK);
    EXPECT_EQ(ButtonIdFromName("yes"), IDYES);
    EXPECT_EQ(ButtonIdFromName("No"), IDNO);
    EXPECT_EQ(ButtonIdFromName("cancel"), IDCANCEL);
    EXPECT_EQ(ButtonIdFromName("7"), 7);
    EXPECT_EQ(ButtonIdFromName("bogus"), 0);
    EXPECT_EQ(ButtonIdFromName("7x"), 0);
    EXPECT_EQ(ButtonIdFromName(""), 0);
    EXPECT_STREQ(ButtonName(IDIGNORE), "ignore");
    EXPECT_STREQ(ButtonName(4711), "?");
}

// ---- the console program, as scripts use it ----------------------------------

TEST_F(UiAutoTest, CliWaitsForABoxListsItsButtonsAndPressesOne) {
    ChildProcess p;
    HWND box = StartBox(p, kConflictLike, "Probe cli", "Hello from the probe");
    ASSERT_NE(box, nullptr);
    std::string pid = std::to_string(p.pid());

    RunResult text = Tool("wait-box --caption \"Probe cli\" --pid " + pid + " --timeout 20000");
    ASSERT_TRUE(text.ended);
    EXPECT_EQ(text.exitCode, 0u);
    EXPECT_EQ(WithoutCr(text.output), "Hello from the probe\n");

    RunResult buttons = Tool("buttons --caption \"Probe cli\"");
    ASSERT_TRUE(buttons.ended);
    EXPECT_EQ(buttons.exitCode, 0u);
    EXPECT_EQ(WithoutCr(buttons.output), "3 abort &Abort\n4 retry &Retry default\n5 ignore &Ignore\n");

    RunResult press = Tool("press --caption \"Probe cli\" --pid " + pid + " --button abort");
    ASSERT_TRUE(press.ended);
    EXPECT_EQ(press.exitCode, 0u) << press.output;
    EXPECT_EQ(EndCode(p), static_cast<DWORD>(IDABORT));
}

TEST_F(UiAutoTest, CliExitCodesTellScriptsWhatHappened) {
    ChildProcess p;
    HWND box = StartBox(p, kConflictLike, "Probe codes", "Pick one");
    ASSERT_NE(box, nullptr);

    RunResult missingBox = Tool("press --caption \"No such box\" --button ok --timeout 200");
    ASSERT_TRUE(missingBox.ended);
    EXPECT_EQ(missingBox.exitCode, 1u);

    RunResult missingButton = Tool("press --caption \"Probe codes\" --button yes");
    ASSERT_TRUE(missingButton.ended);
    EXPECT_EQ(missingButton.exitCode, 3u);
    EXPECT_TRUE(IsWindow(box)) << "a refused press closed the box";

    for (const char* bad : {"frobnicate", "press --caption \"Probe codes\"",
                            "press --caption \"Probe codes\" --button nonsense",
                            "press --caption \"Probe codes\" --button ok --text OK", "wait-box",
                            "find-window --title T", "wait-box --caption X --timeout soon"}) {
        RunResult usage = Tool(bad);
        ASSERT_TRUE(usage.ended) << bad;
        EXPECT_EQ(usage.exitCode, 2u) << bad;
    }
    EXPECT_TRUE(IsWindow(box)) << "a bad command line touched the box";

    RunResult byText = Tool("press --caption \"Probe codes\" --text Retry");
    ASSERT_TRUE(byText.ended);
    EXPECT_EQ(byText.exitCode, 0u) << byText.output;
    EXPECT_EQ(EndCode(p), static_cast<DWORD>(IDRETRY));
}

TEST_F(UiAutoTest, CliFindsWindowsOnTheDesktopAndParkedOnes) {
    ChildProcess p;
    ASSERT_EQ(p.Start(probe_, "windows HolvCliClass \"Holv cli window\""), 0u);
    HWND box = WaitMessageBox("Holv cli window probe", p.pid(), kBoxWaitMs);
    ASSERT_NE(box, nullptr);
    std::string pid = std::to_string(p.pid());

    RunResult top = Tool("find-window --class HolvCliClass --title \"Holv cli window\" --timeout 20000");
    ASSERT_TRUE(top.ended);
    EXPECT_EQ(top.exitCode, 0u);
    EXPECT_NE(top.output.find(" " + pid + " Holv cli window"), std::string::npos) << top.output;

    RunResult parked = Tool("find-window --class HolvCliClass --title \"Holv cli window\" --message-only --pid " + pid);
    ASSERT_TRUE(parked.ended);
    EXPECT_EQ(parked.exitCode, 0u);
    EXPECT_NE(parked.output.find(" " + pid + " Holv cli window"), std::string::npos) << parked.output;
    EXPECT_NE(WithoutCr(parked.output), WithoutCr(top.output)) << "the same window was found twice";

    RunResult none = Tool("find-window --class HolvCliClass --title \"Other title\"");
    ASSERT_TRUE(none.ended);
    EXPECT_EQ(none.exitCode, 1u);

    ASSERT_TRUE(PressButton(box, IDOK));
    EXPECT_EQ(EndCode(p), 0u);
}

}  // namespace
