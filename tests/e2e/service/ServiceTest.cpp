// The service end to end under Wine's service manager (installation, the
// quoted path and removal are the installer test's): the service's child
// carries the closed process descriptor, "-exit" waits for it through that
// and leaves the VM to a later instance while the service is automatic; a
// user's instance takes the service's start and stop; a child that fails
// ends the service with its code.
// Runs on the network test bed (tests/imc/imc-net-test.sh): a throwaway
// prefix whose wineserver and service manager live in the host namespace,
// the simulator in the appliance one.
#include <aclapi.h>
#include <gtest/gtest.h>

#include <cstdlib>

#include "UiAuto.h"
#include "app/Service.h"
#include "e2e/E2eHarness.h"

using namespace holv;
using namespace holv::e2e;

namespace {

constexpr char kMac[] = "00:0c:29:5a:5a:03";  // the simulator's, as SetUp configures it
// Bounds for failures only: a Wine start-up, the session's 5-second ticks,
// and a stop that waits 10 s for the appliance all fit well inside.
constexpr DWORD kApplianceUpMs = 120000;
constexpr DWORD kServiceStateMs = 150000;
constexpr DWORD kWaitMs = 30000, kExitWaitMs = 90000;

// Our service, opened with the rights asked for; null when it is absent.
struct OpenedService {
    UniqueService manager, service;
    explicit OpenedService(DWORD access) : manager(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS)) {
        if (manager) service.reset(OpenServiceA(manager.get(), kServiceName, access));
    }
    SC_HANDLE get() const { return service.get(); }
};

// The service's status; state 0 when it does not exist.
SERVICE_STATUS_PROCESS Snapshot() {
    SERVICE_STATUS_PROCESS s{};
    OpenedService service(SERVICE_QUERY_STATUS);
    DWORD needed = 0;
    if (service.get())
        QueryServiceStatusEx(service.get(), SC_STATUS_PROCESS_INFO, reinterpret_cast<BYTE*>(&s), sizeof s, &needed);
    return s;
}

// Waits until the service reports state; the last status either way.
SERVICE_STATUS_PROCESS WaitServiceState(DWORD state) {
    SERVICE_STATUS_PROCESS s = Snapshot();
    for (DWORD start = GetTickCount(); s.dwCurrentState != state && GetTickCount() - start < kServiceStateMs;
         s = Snapshot())
        Sleep(200);
    return s;
}

DWORD StartTheService() {
    OpenedService service(SERVICE_START);
    if (!service.get()) return GetLastError();
    return StartServiceA(service.get(), 0, nullptr) ? 0 : GetLastError();
}

// The answer may come only when the handler has run the stop command line,
// or the manager may give up waiting for it first: the state tells the rest.
void SendStop() {
    OpenedService service(SERVICE_STOP);
    SERVICE_STATUS status{};
    if (service.get()) ControlService(service.get(), SERVICE_CONTROL_STOP, &status);
}

// Everyone's rights on a process, from its own access list: what the closed
// descriptor grants every local user. ~0 when there is no list at all.
DWORD EveryoneRights(HANDLE process) {
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (GetSecurityInfo(process, SE_KERNEL_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &dacl, nullptr,
                        &descriptor) != ERROR_SUCCESS)
        return 0;
    UniqueLocal owned(descriptor);
    if (!dacl) return ~0u;
    BYTE world[SECURITY_MAX_SID_SIZE];
    DWORD size = sizeof world, rights = 0;
    CreateWellKnownSid(WinWorldSid, nullptr, world, &size);
    for (DWORD i = 0; i < dacl->AceCount; ++i) {
        void* raw = nullptr;
        auto* ace = GetAce(dacl, i, &raw) ? static_cast<ACCESS_ALLOWED_ACE*>(raw) : nullptr;
        if (ace && ace->Header.AceType == ACCESS_ALLOWED_ACE_TYPE && EqualSid(&ace->SidStart, world))
            rights |= ace->Mask;
    }
    return rights;
}

class ServiceTest : public ::testing::Test {
protected:
    void SetUp() override {
        exe_ = ProgramPath("Holvenstead.exe");
        const char* work = std::getenv("HOLV_IMC_NET_WORK");
        ASSERT_TRUE(work && *work && InThrowawayPrefix()) << "run through tests/imc/imc-net-test.sh";
        ASSERT_EQ(DisableCrashDialog(), ERROR_SUCCESS);
        std::string folder = ToWindowsPath(work);
        ASSERT_TRUE(WriteFileText(folder + "\\config", "mac=" + std::string(kMac) + "\ndevice-name=holv-svc\n"));
        power_ = folder + "\\power";
        record_ = folder + "\\record";
        DeleteFileA(power_.c_str());
        ASSERT_TRUE(WriteFileText(record_, ""));  // what earlier tests made the appliance record
        std::string player = "\"" + ProgramPath("vmplayer.exe") + "\" \"%1\"";  // the prefix is thrown away
        ASSERT_EQ(RegSetKeyValueA(HKEY_CLASSES_ROOT, "VMware.Document\\shell\\open\\command", nullptr, REG_SZ,
                                  player.c_str(), static_cast<DWORD>(player.size() + 1)),
                  ERROR_SUCCESS);
        vmx_ = scratch_.Write("VM Folder\\Holvenstead.vmx",
                              ValidVmx() + "ethernet0.present = \"TRUE\"\nethernet0.generatedAddress = \"" + kMac +
                                  "\"\nsimulator.powerFile = \"" + power_ + "\"\n");
        ASSERT_FALSE(vmx_.empty());
    }

    void TearDown() override {
        // Whatever a failed test left: the service stopped and gone, the
        // instance ended, the VM off.
        if (DWORD state = Snapshot().dwCurrentState; state && state != SERVICE_STOPPED) {
            SendStop();
            WaitServiceState(SERVICE_STOPPED);
        }
        OpenedService service(DELETE);
        if (service.get()) DeleteService(service.get());
        if (InstanceWindow(0)) RunProgram(exe_, "-stop -exit " + vmx_, kExitWaitMs);
        DeleteFileA(power_.c_str());
    }

    // True once the appliance's record holds the line (within the bound). The
    // appliance is up for an instance once it answers the instance's status
    // query: the VM runs and the session has found it.
    bool WaitRecordLine(const char* line, DWORD timeoutMs = kApplianceUpMs) const {
        for (DWORD start = GetTickCount(); ReadFileText(record_).find(line) == std::string::npos; Sleep(250))
            if (GetTickCount() - start >= timeoutMs) return false;
        return true;
    }
    bool PowerOn() const { return FileExists(power_); }
    HWND InstanceWindow(DWORD timeoutMs) const {
        return uiauto::WaitTopWindow({kMainWindowClass, vmx_.c_str(), 0}, timeoutMs);
    }

    // Ends with 0 and without a box (one would hold it past the bound).
    void Install() {
        RunResult end = RunProgram(exe_, "-install " + vmx_, kWaitMs);
        EXPECT_TRUE(end.ended && end.exitCode == 0) << "-install: " << DescribeExit(end.exitCode);
    }

    ScratchDir scratch_;
    std::string exe_, power_, record_, vmx_;
};

}  // namespace

TEST_F(ServiceTest, AUserInstanceServingTheFileTakesTheStartAndTheStop) {
    Install();
    ChildProcess user;
    ASSERT_EQ(user.Start(exe_, vmx_), 0u);
    ASSERT_NE(InstanceWindow(kWaitMs), nullptr);
    ASSERT_EQ(StartTheService(), 0u);

    // The child hands "start" to the user's instance and ends with 183; the
    // service stays running.
    ASSERT_TRUE(WaitRecordLine("status flags=")) << "the user's instance did not start the VM for the service";
    SERVICE_STATUS_PROCESS s = Snapshot();
    EXPECT_EQ(s.dwCurrentState, static_cast<DWORD>(SERVICE_RUNNING));
    UniqueHandle service(OpenProcess(SYNCHRONIZE, FALSE, s.dwProcessId));
    ASSERT_TRUE(service);
    EXPECT_EQ(WaitForSingleObject(service.get(), 0), static_cast<DWORD>(WAIT_TIMEOUT)) << "the service process ended";
    HWND window = InstanceWindow(0);
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(uiauto::WindowProcessId(window), user.pid()) << "the user's instance serves the file alone";

    // Stopping the service stops the VM through the user's instance and
    // closes it; then the service ends.
    SendStop();
    SERVICE_STATUS_PROCESS stopped = WaitServiceState(SERVICE_STOPPED);
    ASSERT_EQ(stopped.dwCurrentState, static_cast<DWORD>(SERVICE_STOPPED));
    EXPECT_EQ(stopped.dwWin32ExitCode, 0u);
    EXPECT_TRUE(WaitRecordLine("shutdown", 0)) << "the appliance was not asked to shut down";
    DWORD code = 1;
    EXPECT_TRUE(user.Wait(kWaitMs, &code) && code == 0) << "the user's instance: " << DescribeExit(code);
    // Wine's service manager may keep the process a minute after it
    // reported the stop: its bound, not the program's.
    EXPECT_EQ(WaitForSingleObject(service.get(), kServiceStateMs), WAIT_OBJECT_0) << "the service still runs";
    EXPECT_FALSE(PowerOn()) << "the VM was not powered off";
}

TEST_F(ServiceTest, ExitLeavesTheVmRunningForALaterInstanceWhileTheServiceIsAutomatic) {
    Install();
    ASSERT_EQ(StartTheService(), 0u);
    ASSERT_EQ(WaitServiceState(SERVICE_RUNNING).dwCurrentState, static_cast<DWORD>(SERVICE_RUNNING));
    ASSERT_TRUE(WaitRecordLine("status flags=")) << "the appliance never came up for the service's child";
    HWND window = InstanceWindow(0);
    ASSERT_NE(window, nullptr) << "the service's child shows no main window";
    UniqueHandle child(OpenProcess(READ_CONTROL, FALSE, uiauto::WindowProcessId(window)));
    EXPECT_EQ(EveryoneRights(child.get()),
              static_cast<DWORD>(SYNCHRONIZE | PROCESS_QUERY_INFORMATION | PROCESS_QUERY_LIMITED_INFORMATION))
        << "the child carries the closed descriptor";

    // "-exit" from a user: waits for the service's child through the closed
    // descriptor, which grants everyone SYNCHRONIZE.
    RunResult bye = RunProgram(exe_, "-exit " + vmx_, kExitWaitMs);
    ASSERT_TRUE(bye.ended);
    EXPECT_EQ(bye.exitCode, 0u) << "the wait for the service's child failed: " << DescribeExit(bye.exitCode);
    SERVICE_STATUS_PROCESS stopped = WaitServiceState(SERVICE_STOPPED);
    ASSERT_EQ(stopped.dwCurrentState, static_cast<DWORD>(SERVICE_STOPPED)) << "the child's end ends the service";
    EXPECT_EQ(stopped.dwWin32ExitCode, 0u);
    EXPECT_FALSE(WaitRecordLine("shutdown", 0)) << "Exit stopped the VM although the service is automatic";
    EXPECT_TRUE(PowerOn()) << "the VM is off";
    // (a later instance adopts it as e2e_session shows for any running VM)
}

TEST_F(ServiceTest, AChildThatFailsEndsTheServiceWithItsCode) {
    Install();
    ASSERT_TRUE(DeleteFileA(vmx_.c_str()));
    ASSERT_EQ(StartTheService(), 0u);
    // The child cannot read the file: it says so and ends with the error.
    HWND box = uiauto::WaitMessageBox("Error", 0, kWaitMs);
    ASSERT_NE(box, nullptr) << "the child showed no error";
    EXPECT_EQ(uiauto::MessageBoxText(box), "VMX file not found.");
    EXPECT_TRUE(uiauto::PressButton(box, IDOK));
    SERVICE_STATUS_PROCESS stopped = WaitServiceState(SERVICE_STOPPED);
    ASSERT_EQ(stopped.dwCurrentState, static_cast<DWORD>(SERVICE_STOPPED));
    EXPECT_EQ(stopped.dwWin32ExitCode, 1066u) << "a service-specific error";
    EXPECT_EQ(stopped.dwServiceSpecificExitCode, static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}
