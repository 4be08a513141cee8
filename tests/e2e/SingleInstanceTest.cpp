// One instance per configuration file: a second instance for the same file,
// however the path is written, hands its verbs to the first and ends.
#include "e2e/E2eFixture.h"

namespace holv::e2e {
namespace {

class SingleInstance : public PlayerTest {};

TEST_F(SingleInstance, FirstInstanceTitlesItsWindowWithTheCanonicalPath) {
    std::string path = WriteVmx("Appliance Folder\\HolvensteadMachine.vmx", ValidVmx());
    std::string canonical = CanonicalPathOf(path);
    ChildProcess first;
    // Given in other letter case, lower-case drive letter included.
    ASSERT_NO_FATAL_FAILURE(Start(first, SwapCase(path)));
    ASSERT_NE(WaitInstanceWindow(first, canonical), nullptr);
    ASSERT_NO_FATAL_FAILURE(EndInstance(first, canonical));
}

TEST_F(SingleInstance, StopAndExitEndTheRunningInstance) {
    std::string path = WriteVmx("Appliance Folder\\HolvensteadMachine.vmx", ValidVmx());
    ChildProcess first;
    ASSERT_NO_FATAL_FAILURE(Start(first, path));
    ASSERT_NE(WaitInstanceWindow(first, CanonicalPathOf(path)), nullptr);
    ASSERT_NO_FATAL_FAILURE(EndInstance(first, path));
}

TEST_F(SingleInstance, OtherLetterCaseMeetsTheRunningInstance) {
    std::string path = WriteVmx("Appliance Folder\\HolvensteadMachine.vmx", ValidVmx());
    std::string other = SwapCase(path);
    ASSERT_NE(other, path);
    ChildProcess first;
    ASSERT_NO_FATAL_FAILURE(Start(first, path));
    HWND window = WaitInstanceWindow(first, CanonicalPathOf(path));
    ASSERT_NE(window, nullptr);

    RunResult second = RunProgram(exe_, "-browse " + other, kEndWaitMs);
    ASSERT_TRUE(second.ended) << "the second instance did not end";
    EXPECT_EQ(second.exitCode, static_cast<DWORD>(ERROR_ALREADY_EXISTS)) << DescribeExit(second.exitCode);
    EXPECT_TRUE(first.Running()) << "the browse request ended the first instance";
    EXPECT_TRUE(IsWindow(window));

    // The hand-over finds the first instance's window: "exit" reaches it.
    ASSERT_NO_FATAL_FAILURE(EndInstance(first, other));
}

TEST_F(SingleInstance, ShortFormMeetsTheRunningInstance) {
    std::string path = WriteVmx("HolvensteadAppliance\\HolvensteadMachine.vmx", ValidVmx());
    std::string shortForm = ShortPathOf(path);
    if (shortForm.empty() || shortForm == path)
        GTEST_SKIP() << "Wine gives this file no 8.3 form (got \"" << shortForm << "\" for " << path << ")";
    std::string canonical = CanonicalPathOf(path);
    ASSERT_EQ(CanonicalPathOf(shortForm), canonical) << "the short form names another file";

    ChildProcess first;
    ASSERT_NO_FATAL_FAILURE(Start(first, path));
    ASSERT_NE(WaitInstanceWindow(first, canonical), nullptr);

    RunResult second = RunProgram(exe_, "-stop " + shortForm, kEndWaitMs);
    ASSERT_TRUE(second.ended) << "the second instance did not end";
    EXPECT_EQ(second.exitCode, static_cast<DWORD>(ERROR_ALREADY_EXISTS)) << DescribeExit(second.exitCode);
    EXPECT_TRUE(first.Running()) << "the stop request ended the first instance";

    ASSERT_NO_FATAL_FAILURE(EndInstance(first, shortForm));
}

TEST_F(SingleInstance, FirstInstanceStartedByShortFormKnowsTheLongName) {
    std::string path = WriteVmx("HolvensteadAppliance\\HolvensteadMachine.vmx", ValidVmx());
    std::string shortForm = ShortPathOf(path);
    if (shortForm.empty() || shortForm == path)
        GTEST_SKIP() << "Wine gives this file no 8.3 form (got \"" << shortForm << "\" for " << path << ")";
    std::string canonical = CanonicalPathOf(path);

    ChildProcess first;
    ASSERT_NO_FATAL_FAILURE(Start(first, SwapCase(shortForm)));
    ASSERT_NE(WaitInstanceWindow(first, canonical), nullptr);
    ASSERT_NO_FATAL_FAILURE(EndInstance(first, canonical));
}

}  // namespace
}  // namespace holv::e2e
