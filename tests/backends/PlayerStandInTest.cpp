// The stand-in player (vmplayer.exe with its worker vmware-vmx.exe), started
// and watched exactly as the program starts and watches the real one.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "backends/PlayerProbe.h"
#include "backends/VmwareCommand.h"
#include "e2e/E2eHarness.h"

using namespace holv;
using namespace holv::test;
using holv::e2e::FileExists;
using holv::e2e::ProgramPath;
using holv::e2e::ScratchDir;

namespace {

// One player started as the program starts it. The destructor ends the
// player and its worker if a failed test left them running.
class StartedPlayer {
public:
    StartedPlayer() = default;
    StartedPlayer(const StartedPlayer&) = delete;
    StartedPlayer& operator=(const StartedPlayer&) = delete;
    ~StartedPlayer() {
        for (DWORD pid : {workerPid, pid}) {
            UniqueHandle p(pid ? OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, pid) : nullptr);
            if (p && WaitForSingleObject(p.get(), 0) == WAIT_TIMEOUT) {
                TerminateProcess(p.get(), 1);
                WaitForSingleObject(p.get(), 5000);
            }
        }
    }

    // Minimised and not activated, no handle inheritance: as the program does.
    DWORD Start(const std::string& commandLine) {
        STARTUPINFOA startup{};
        startup.cb = sizeof startup;
        startup.dwFlags = STARTF_USESHOWWINDOW;
        startup.wShowWindow = SW_SHOWMINNOACTIVE;
        std::string command = commandLine;
        PROCESS_INFORMATION info{};
        if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info))
            return GetLastError();
        process.reset(info.hProcess);
        UniqueHandle thread(info.hThread);
        pid = info.dwProcessId;
        return 0;
    }

    // Waits for the end; the exit code, or -1 when it did not end in time.
    long WaitExit() {
        if (WaitForSingleObject(process.get(), kPlayerWaitMs) != WAIT_OBJECT_0) return -1;
        DWORD code = 0;
        GetExitCodeProcess(process.get(), &code);
        return static_cast<long>(code);
    }

    UniqueHandle process;
    DWORD pid = 0;
    DWORD workerPid = 0;
};

class PlayerStandInTest : public ::testing::Test {
protected:
    void SetUp() override {
        player_ = ProgramPath("vmplayer.exe");
        ASSERT_TRUE(FileExists(player_)) << player_ << " not built (HOLV_BIN unset or stale)";
        ASSERT_TRUE(FileExists(ProgramPath("vmware-vmx.exe"))) << "vmware-vmx.exe not built beside vmplayer.exe";
        ASSERT_TRUE(scratch_.ok());
        // Blanks in the folder and the file: the command line must survive them.
        ASSERT_FALSE(scratch_.MakeDir("My VMs").empty());
        vmx_ = scratch_.Write("My VMs\\Appliance One.vmx", "config.version = \"8\"\n");
        ASSERT_FALSE(vmx_.empty());
        log_ = VmwareLogPath(vmx_);
        power_ = scratch_.Join("power");
        trace_ = scratch_.Join("trace.txt");
        SetEnvironmentVariableA("HOLV_SIM_POWER_FILE", power_.c_str());
        SetEnvironmentVariableA("HOLV_PLAYER_TRACE", trace_.c_str());
    }
    void TearDown() override {
        SetEnvironmentVariableA("HOLV_SIM_POWER_FILE", nullptr);
        SetEnvironmentVariableA("HOLV_PLAYER_TRACE", nullptr);
    }

    std::string QuotedAssociation() const { return "\"" + player_ + "\" \"%1\""; }

    // Starts the player and checks everything the program relies on while
    // it runs; fills in the worker's id.
    void StartAndCheckRunning(StartedPlayer& p, const std::string& association) {
        const std::string command = VmwareCommandFromAssociation(association, vmx_, kPlayerProgram);
        ASSERT_FALSE(command.empty()) << "association refused: " << association;
        ASSERT_EQ(p.Start(command), 0u) << command;
        ASSERT_EQ(WaitForInputIdle(p.process.get(), 60000), 0u) << "the player never became idle for input";

        // Written before the frame is shown; waited for like the frame.
        std::string line;
        WaitFor([&] { return PidFromLogLine((line = FirstLine(log_)).c_str()) != 0; });
        EXPECT_NE(line.find(" pid="), std::string::npos) << "first log line: " << line;
        p.workerPid = PidFromLogLine(line.c_str());
        ASSERT_NE(p.workerPid, 0u) << "first log line: " << line;

        auto worker = FindProcess(p.workerPid);
        ASSERT_TRUE(worker.has_value()) << "no process " << p.workerPid << " as the log says";
        EXPECT_EQ(lstrcmpiA(worker->exe.c_str(), "vmware-vmx.exe"), 0) << worker->exe;
        EXPECT_EQ(worker->parent, p.pid);
        auto parent = FindProcess(p.pid);
        ASSERT_TRUE(parent.has_value());
        EXPECT_EQ(lstrcmpiA(parent->exe.c_str(), "vmplayer.exe"), 0) << parent->exe;
        EXPECT_TRUE(IsRunning(p.workerPid));

        // The log can be read, but not deleted, while the VM runs.
        EXPECT_FALSE(DeleteFileA(log_.c_str())) << "the running VM's log could be deleted";
        EXPECT_TRUE(FileThere(log_));

        EXPECT_TRUE(WaitFor([&] { return FileThere(power_); })) << "appliance not powered on";
    }

    // Waited for rather than expected at once: Wine may report a new
    // process idle while the first window of a fresh desktop session is
    // still being set up (the program retries its search for the same
    // reason).
    HWND TheFrame(const StartedPlayer& p) {
        std::vector<HWND> frames;
        WaitFor([&] { return !(frames = TopLevelFrames(p.pid)).empty(); });
        EXPECT_EQ(frames.size(), 1u) << "VMPlayerFrame windows of the player";
        return frames.empty() ? nullptr : frames.front();
    }

    // After the end: both processes gone, appliance off, log left behind and
    // no longer held.
    void CheckAllEnded(StartedPlayer& p) {
        EXPECT_EQ(p.WaitExit(), 0) << "player exit code (-1: still running)";
        EXPECT_TRUE(WaitProcessGone(p.workerPid)) << "worker still running";
        EXPECT_FALSE(FileThere(power_)) << "appliance still powered on";
        EXPECT_TRUE(FileThere(log_)) << "the player took its log away";
        EXPECT_TRUE(DeleteFileA(log_.c_str())) << "log still held, error " << GetLastError();
    }

    ScratchDir scratch_;
    std::string player_;
    std::string vmx_;
    std::string log_;
    std::string power_;
    std::string trace_;
};

}  // namespace

TEST_F(PlayerStandInTest, RunsTheVmUntilItsFrameIsClosed) {
    StartedPlayer p;
    ASSERT_NO_FATAL_FAILURE(StartAndCheckRunning(p, QuotedAssociation()));

    HWND frame = TheFrame(p);
    ASSERT_NE(frame, nullptr);
    EXPECT_TRUE(IsWindowVisible(frame));
    EXPECT_TRUE(IsIconic(frame)) << "not shown as the start-up information asked (minimised)";
    EXPECT_NE(TitleOf(frame).find("Appliance One.vmx"), std::string::npos) << TitleOf(frame);

    ASSERT_TRUE(PostMessageA(frame, WM_CLOSE, 0, 0));
    CheckAllEnded(p);

    const auto trace = FileLines(trace_);
    const int start = LineIndex(trace, "start pid=" + std::to_string(p.pid));
    const int shown = LineIndex(trace, "frame shown show=7", start);
    const int close = LineIndex(trace, "close received", shown);
    const int off = LineIndex(trace, "power off", close);
    EXPECT_GE(start, 0);
    EXPECT_GT(shown, start);
    EXPECT_GT(close, shown);
    EXPECT_GT(off, close);
    EXPECT_GT(LineIndex(trace, "exit", off), off);
}

// The program moves the frame under the message-only parent and retitles it
// with the configuration path; its stop finds it there and closes it.
TEST_F(PlayerStandInTest, ClosesWhenHiddenUnderTheMessageOnlyParent) {
    StartedPlayer p;
    ASSERT_NO_FATAL_FAILURE(StartAndCheckRunning(p, QuotedAssociation()));
    HWND frame = TheFrame(p);
    ASSERT_NE(frame, nullptr);

    SetParent(frame, HWND_MESSAGE);
    ASSERT_TRUE(SetWindowTextA(frame, vmx_.c_str()));
    EXPECT_TRUE(TopLevelFrames(p.pid).empty()) << "the frame is still on the desktop";
    HWND hidden = FindWindowExA(HWND_MESSAGE, nullptr, kFrameClass, vmx_.c_str());
    EXPECT_EQ(hidden, frame);
    EXPECT_TRUE(IsRunning(p.pid));

    ASSERT_TRUE(PostMessageA(hidden ? hidden : frame, WM_CLOSE, 0, 0));
    CheckAllEnded(p);
    EXPECT_GE(LineIndex(FileLines(trace_), "title " + vmx_), 0) << "the new title never reached the player";
}

TEST_F(PlayerStandInTest, WorkerEndEndsThePlayer) {
    StartedPlayer p;
    ASSERT_NO_FATAL_FAILURE(StartAndCheckRunning(p, QuotedAssociation()));
    UniqueHandle worker(OpenProcess(PROCESS_TERMINATE, FALSE, p.workerPid));
    ASSERT_TRUE(worker);
    ASSERT_TRUE(TerminateProcess(worker.get(), 0));
    CheckAllEnded(p);
    EXPECT_TRUE(TopLevelFrames(p.pid).empty());
}

// A player killed outright cannot clean up: its worker notices and switches
// the appliance off, as a VM whose player died is off.
TEST_F(PlayerStandInTest, KilledPlayerLeavesTheApplianceOff) {
    StartedPlayer p;
    ASSERT_NO_FATAL_FAILURE(StartAndCheckRunning(p, QuotedAssociation()));
    ASSERT_TRUE(TerminateProcess(p.process.get(), 1));
    EXPECT_TRUE(WaitProcessGone(p.workerPid)) << "worker outlived its player";
    EXPECT_FALSE(FileThere(power_)) << "appliance still powered on";
}

// The association's forms: quoted placeholder, unquoted placeholder (the
// path with its blanks comes unquoted), and no placeholder at all. Here the
// power file comes from the VM file instead of the environment.
TEST_F(PlayerStandInTest, HonoursEveryAssociationFormAndThePowerKey) {
    SetEnvironmentVariableA("HOLV_SIM_POWER_FILE", nullptr);
    vmx_ = scratch_.Write("My VMs\\Appliance One.vmx",
                          "config.version = \"8\"\nsimulator.powerFile = \"" + power_ + "\"\n");
    ASSERT_FALSE(vmx_.empty());
    for (const std::string& association : {QuotedAssociation(), player_ + " %1", player_}) {
        SCOPED_TRACE(association);
        StartedPlayer p;
        ASSERT_NO_FATAL_FAILURE(StartAndCheckRunning(p, association));
        HWND frame = TheFrame(p);
        ASSERT_NE(frame, nullptr);
        EXPECT_NE(TitleOf(frame).find("Appliance One.vmx"), std::string::npos) << TitleOf(frame);
        ASSERT_TRUE(PostMessageA(frame, WM_CLOSE, 0, 0));
        CheckAllEnded(p);
    }
}

// The log held by a running VM: a second player for the same VM gives up
// and leaves the first one's appliance alone.
TEST_F(PlayerStandInTest, SecondPlayerForARunningVmGivesUp) {
    StartedPlayer first;
    ASSERT_NO_FATAL_FAILURE(StartAndCheckRunning(first, QuotedAssociation()));
    StartedPlayer second;
    ASSERT_EQ(second.Start(VmwareCommandFromAssociation(QuotedAssociation(), vmx_, kPlayerProgram)), 0u);
    EXPECT_EQ(second.WaitExit(), static_cast<long>(ERROR_SHARING_VIOLATION));
    EXPECT_TRUE(FileThere(power_));
    EXPECT_EQ(PidFromLogLine(FirstLine(log_).c_str()), first.workerPid);
    EXPECT_TRUE(IsRunning(first.workerPid));

    HWND frame = TheFrame(first);
    ASSERT_NE(frame, nullptr);
    ASSERT_TRUE(PostMessageA(frame, WM_CLOSE, 0, 0));
    CheckAllEnded(first);
}
