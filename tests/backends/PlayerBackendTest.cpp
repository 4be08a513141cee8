// The VMware Player backend driving the stand-in player: start with the
// frame hidden or shown, adoption of a VM that runs already, and stop.
// Changes HKEY_CLASSES_ROOT and opens the appliance's UDP transport: runs in
// a throwaway prefix inside a network namespace of its own.
#include <gtest/gtest.h>
// Order matters: winsock2.h before windows.h,
#include <winsock2.h>
// windows.h before iphlpapi.h.
#include <windows.h>
// (the interface list)
#include <iphlpapi.h>

#include <memory>
#include <string>

#include "backends/CvmxPlayer.h"
#include "backends/PlayerProbe.h"
#include "backends/VmwareCommand.h"
#include "e2e/E2eHarness.h"

using namespace holv;
using namespace holv::test;
using namespace holv::e2e;

namespace {

// Outside the ranges the program may ask to shut down: Stop sends nothing.
constexpr char kMac[] = "00:50:56:12:34:56";

// True when every IPv4 address that is up is a loopback address: then the
// program's broadcasts cannot leave this machine.
bool OnlyLoopbackUp(std::string* seen) {
    ULONG size = 16 * 1024;
    std::unique_ptr<char[]> buffer(new char[size]);
    auto* first = reinterpret_cast<IP_ADAPTER_ADDRESSES*>(buffer.get());
    if (GetAdaptersAddresses(AF_INET, GAA_FLAG_SKIP_ANYCAST | GAA_FLAG_SKIP_MULTICAST | GAA_FLAG_SKIP_DNS_SERVER,
                             nullptr, first, &size) != ERROR_SUCCESS) {
        *seen = "interface list unavailable";
        return false;
    }
    for (auto* a = first; a; a = a->Next) {
        if (a->OperStatus != IfOperStatusUp) continue;
        for (auto* u = a->FirstUnicastAddress; u; u = u->Next) {
            const auto* in = reinterpret_cast<const sockaddr_in*>(u->Address.lpSockaddr);
            if (in->sin_family == AF_INET && (ntohl(in->sin_addr.s_addr) >> 24) != 127) {
                *seen = std::string("an interface is up: ") + a->AdapterName;
                return false;
            }
        }
    }
    return true;
}

class PlayerBackendTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(InThrowawayPrefix()) << "changes HKEY_CLASSES_ROOT: run through scripts/wine-fresh.sh";
        std::string why;
        ASSERT_TRUE(OnlyLoopbackUp(&why))
            << "refusing to open the appliance transport outside a network namespace: " << why;
        ASSERT_EQ(DisableCrashDialog(), ERROR_SUCCESS);
        player_ = ProgramPath("vmplayer.exe");
        ASSERT_TRUE(FileExists(player_)) << player_ << " not built";
        ASSERT_TRUE(scratch_.ok());
        ASSERT_FALSE(scratch_.MakeDir("VM Folder").empty());
        power_ = scratch_.Join("power");
        vmx_ = scratch_.Write("VM Folder\\Holvenstead.vmx", std::string("config.version = \"8\"\n") +
                                                                "ethernet0.generatedAddress = \"" + kMac + "\"\n" +
                                                                "simulator.powerFile = \"" + power_ + "\"\n");
        ASSERT_FALSE(vmx_.empty());
        association_ = std::make_unique<ScopedPlayerAssociation>("\"" + player_ + "\" \"%1\"");
        ASSERT_EQ(association_->error(), ERROR_SUCCESS);
        SetEnvironmentVariableA("HOLV_SIM_POWER_FILE", nullptr);
        SetEnvironmentVariableA("HOLV_PLAYER_TRACE", scratch_.Join("trace.txt").c_str());
        // The program works in the VM's folder, where Start deletes the
        // suspend files.
        char previous[MAX_PATH];
        GetCurrentDirectoryA(MAX_PATH, previous);
        previous_ = previous;
        ASSERT_TRUE(SetCurrentDirectoryA(FolderOfVmx().c_str()));
    }
    void TearDown() override {
        // Only this test's prefix sees these processes: whatever a failed
        // test left running goes now, before the scratch folder.
        EndStrayPlayers();
        if (!previous_.empty()) SetCurrentDirectoryA(previous_.c_str());
        SetEnvironmentVariableA("HOLV_PLAYER_TRACE", nullptr);
    }

    std::string FolderOfVmx() const { return vmx_.substr(0, vmx_.rfind('\\')); }

    // A backend as the program makes it: loaded, then refreshed once.
    std::unique_ptr<CvmxPlayer> LoadedBackend(int expectedState) {
        auto vm = std::make_unique<CvmxPlayer>();
        EXPECT_EQ(vm->LoadVmConfig(vmx_), 0);
        EXPECT_EQ(vm->GetCommandLine(), "\"" + player_ + "\" \"" + vmx_ + "\"");
        EXPECT_EQ(vm->Poll(1, 0), expectedState);
        return vm;
    }

    // The one running player of this prefix and its worker. Waited for
    // (bounded): after a shown start nothing has waited for the frame, and
    // Wine may report the player idle before it got that far.
    void ExpectOneVmRunning(DWORD* playerPid, DWORD* workerPid) {
        std::vector<DWORD> players, workers;
        WaitFor([&] {
            players = ProcessesNamed("vmplayer.exe");
            workers = ProcessesNamed("vmware-vmx.exe");
            return players.size() == 1 && workers.size() == 1 && FileThere(power_);
        });
        ASSERT_EQ(players.size(), 1u) << "player processes";
        ASSERT_EQ(workers.size(), 1u) << "worker processes";
        *playerPid = players.front();
        *workerPid = workers.front();
        EXPECT_TRUE(FileThere(power_)) << "appliance not powered on";
    }

    void ExpectAllEnded(DWORD playerPid, DWORD workerPid) {
        EXPECT_TRUE(WaitProcessGone(playerPid)) << "player still running";
        EXPECT_TRUE(WaitProcessGone(workerPid)) << "worker still running";
        EXPECT_FALSE(FileThere(power_)) << "appliance still powered on";
    }

    ScratchDir scratch_;
    std::string player_;
    std::string vmx_;
    std::string power_;
    std::string previous_;
    std::unique_ptr<ScopedPlayerAssociation> association_;
};

}  // namespace

// Hidden (show 0): the frame goes under the message-only parent with the VM
// file as its title; shown (1): it stays on the desktop, minimised. Stop
// finds it where it is and ends the VM either way. (A running VM adopted by
// a later program: e2e_session.)
TEST_F(PlayerBackendTest, StartHidesOrShowsTheFrameAndStopEndsTheVm) {
    for (int show : {0, 1}) {
        SCOPED_TRACE(show ? "shown" : "hidden");
        auto vm = LoadedBackend(StateStopped);
        ASSERT_EQ(vm->Start(show), 0);
        EXPECT_EQ(vm->GetState(), StateStarting);
        DWORD playerPid = 0, workerPid = 0;
        ASSERT_NO_FATAL_FAILURE(ExpectOneVmRunning(&playerPid, &workerPid));
        HWND hidden = FindWindowExA(HWND_MESSAGE, nullptr, kFrameClass, vmx_.c_str());
        std::vector<HWND> frames;
        if (show) {
            WaitFor([&] { return !(frames = TopLevelFrames(playerPid)).empty(); });
            ASSERT_EQ(frames.size(), 1u) << "the frame is not on the desktop";
            EXPECT_TRUE(IsWindowVisible(frames.front()) && IsIconic(frames.front())) << "not minimised";
            EXPECT_EQ(hidden, nullptr);
        } else {
            ASSERT_NE(hidden, nullptr) << "the frame is not under the message-only parent with the VM file as title";
            EXPECT_EQ(WindowPid(hidden), playerPid);
            EXPECT_TRUE(TopLevelFrames(playerPid).empty()) << "the frame is still on the desktop";
            EXPECT_FALSE(DeleteFileA(vm->GetLogPath().c_str())) << "the running VM's log could be deleted";
            EXPECT_EQ(PidFromLogLine(FirstLine(vm->GetLogPath()).c_str()), workerPid);
        }
        EXPECT_EQ(vm->Poll(1, 0), StateStarting) << "refreshing keeps the started VM";
        // A VM of another user may be open for waiting only: such a handle
        // reads no exit code, yet must tell that the VM still runs.
        UniqueHandle waitOnly(OpenProcess(SYNCHRONIZE, FALSE, workerPid));
        DWORD code = 0;
        EXPECT_FALSE(GetExitCodeProcess(waitOnly.get(), &code));
        EXPECT_TRUE(IsStillRunning(waitOnly.get()));
        EXPECT_EQ(vm->Stop(), 0);
        ExpectAllEnded(playerPid, workerPid);
        EXPECT_FALSE(IsStillRunning(waitOnly.get()));
        EXPECT_EQ(vm->Poll(1, 0), StateStopped);
        EXPECT_FALSE(FileThere(vm->GetLogPath())) << "the stopped VM's log was not cleared";
    }
}

// The user closes the player before any refresh found the VM's process: the
// handle of the ended player must not keep the VM "starting" for ever.
TEST_F(PlayerBackendTest, PlayerClosedBeforeTheFirstRefreshMeansStopped) {
    auto vm = LoadedBackend(StateStopped);
    ASSERT_EQ(vm->Start(0), 0);
    DWORD playerPid = 0, workerPid = 0;
    ASSERT_NO_FATAL_FAILURE(ExpectOneVmRunning(&playerPid, &workerPid));
    HWND hidden = FindWindowExA(HWND_MESSAGE, nullptr, kFrameClass, vmx_.c_str());
    ASSERT_NE(hidden, nullptr);
    ASSERT_TRUE(PostMessageA(hidden, WM_CLOSE, 0, 0));
    ExpectAllEnded(playerPid, workerPid);

    EXPECT_EQ(vm->Poll(1, 0), StateStopped);
    // And a new start works from there.
    ASSERT_EQ(vm->Start(0), 0);
    DWORD newPlayer = 0, newWorker = 0;
    ASSERT_NO_FATAL_FAILURE(ExpectOneVmRunning(&newPlayer, &newWorker));
    EXPECT_EQ(vm->Stop(), 0);
    ExpectAllEnded(newPlayer, newWorker);
}

// The log is a file anyone may write: a pid in it that is no VM process
// (here this test's own) is never adopted, so it can never be terminated.
TEST_F(PlayerBackendTest, LogNamingAStrangerIsNoRunningVm) {
    const std::string log = FolderOfVmx() + "\\vmware.log";
    UniqueFile held(CreateFileA(log.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(held);
    const std::string line = "Log for VMware Player pid=" + std::to_string(GetCurrentProcessId()) + " version=1\n";
    DWORD written = 0;
    ASSERT_TRUE(WriteFile(held.get(), line.data(), static_cast<DWORD>(line.size()), &written, nullptr));
    auto vm = LoadedBackend(StateStopped);
    EXPECT_EQ(vm->Stop(), 0);
    EXPECT_EQ(vm->GetState(), StateStopped);
}
