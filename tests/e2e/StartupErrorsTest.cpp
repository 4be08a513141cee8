// Start-up of the real program where it cannot run: each problem ends in its
// box and its exit code, and "-exit" alone ends at once.
#include "e2e/E2eFixture.h"

namespace holv::e2e {
namespace {

using uiauto::Button;

class StartupErrors : public ProgramTest {
protected:
    // The box the start-up failure shows: caption "Error", an icon, one OK
    // button. Answers it and returns the program's exit code.
    DWORD ExpectErrorBox(ChildProcess& p, const std::string& text) {
        HWND box = uiauto::WaitMessageBox("Error", p.pid(), kBoxWaitMs);
        EXPECT_NE(box, nullptr) << "no \"Error\" box; windows of the program:\n" << DescribeMainWindows();
        if (!box) return 0xFFFFFFFF;
        EXPECT_EQ(uiauto::MessageBoxText(box), text);
        EXPECT_TRUE(uiauto::MessageBoxHasIcon(box));
        std::vector<Button> buttons = uiauto::ListButtons(box);
        EXPECT_EQ(buttons.size(), 1u);
        Answer(box, IDOK);
        DWORD code = 0xFFFFFFFF;
        EXPECT_TRUE(p.Wait(kEndWaitMs, &code)) << "the program did not end after OK";
        return code;
    }
};

TEST_F(StartupErrors, MissingConfigurationFileShowsNotFoundAndEndsWithTheFileError) {
    std::string missing = scratch_.Join("Missing Appliance.vmx");
    ASSERT_FALSE(FileExists(missing));
    ChildProcess p;
    ASSERT_NO_FATAL_FAILURE(Start(p, missing));
    EXPECT_EQ(ExpectErrorBox(p, "VMX file not found."), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

TEST_F(StartupErrors, FileWithoutConfigVersionShowsTheSystemTextOfError11) {
    std::string path = WriteVmx("NoVersion.vmx",
                                "displayName = \"Holvenstead\"\n"
                                "memsize = \"256\"\n"
                                "config.versions = \"8\"\n");
    std::string expected = SystemErrorText(ERROR_BAD_FORMAT);
    ASSERT_FALSE(expected.empty()) << "the system has no text for error 11";
    ChildProcess p;
    ASSERT_NO_FATAL_FAILURE(Start(p, path));
    EXPECT_EQ(ExpectErrorBox(p, expected), static_cast<DWORD>(ERROR_BAD_FORMAT));
}

TEST_F(StartupErrors, ValidFileWithoutHypervisorShowsNotInstalled) {
    // No hypervisor: no file association of any player (a key left by an
    // earlier crashed run would make one).
    ASSERT_EQ(DeleteKeyTree(HKEY_CLASSES_ROOT, ScopedPlayerAssociation::kRoot), ERROR_SUCCESS);
    std::string path = WriteVmx("Appliance.vmx", ValidVmx());
    ChildProcess p;
    ASSERT_NO_FATAL_FAILURE(Start(p, path));
    EXPECT_EQ(ExpectErrorBox(p, "VMware is not installed on this machine."),
              static_cast<DWORD>(ERROR_SERVICE_DOES_NOT_EXIST));
}

TEST_F(StartupErrors, ExitWithoutRunningInstanceEndsAtOnceWithoutBox) {
    std::string path = WriteVmx("Appliance.vmx", ValidVmx());
    ChildProcess p;
    ASSERT_NO_FATAL_FAILURE(Start(p, "-exit " + path));
    EndResult end = WaitAnsweringBoxes(p, kEndWaitMs);
    ASSERT_TRUE(end.ended) << "\"-exit\" with no instance running did not end";
    EXPECT_EQ(end.exitCode, 0u) << DescribeExit(end.exitCode);
    for (const BoxSeen& b : end.boxes) ADD_FAILURE() << "unexpected box \"" << b.caption << "\": " << b.text;
}

}  // namespace
}  // namespace holv::e2e
