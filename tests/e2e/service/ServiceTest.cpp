// The service end to end under Wine's service manager: installation and
// removal through the command line, the service starting the program with
// "-start" and the stored path, the appliance coming up against the
// simulator through the stand-in player, the stop, the hand-over to a user's
// instance, and Exit leaving the VM to a later instance. The service's
// children carry the closed process descriptor; every hand-over is checked
// through it.
// Runs on the network test bed (tests/imc/imc-net-test.sh): a throwaway
// prefix whose wineserver and service manager live in the host namespace,
// the simulator in the appliance one.
#include <aclapi.h>
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "UiAuto.h"
#include "app/Service.h"
#include "e2e/E2eFixture.h"
#include "e2e/E2eHarness.h"

using namespace holv;
using namespace holv::e2e;

namespace {

constexpr char kMac[] = "00:0c:29:5a:5a:03";  // the simulator's, as SetUp configures it
// Bounds for failures only: a Wine start-up, the session's 5-second ticks,
// and a stop that waits 10 s for the appliance all fit well inside.
constexpr DWORD kApplianceUpMs = 120000;
constexpr DWORD kServiceStateMs = 150000;

bool ScratchFile(const std::string& path, const std::string& text) {
    UniqueFile f(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD wrote = 0;
    return f && WriteFile(f.get(), text.data(), static_cast<DWORD>(text.size()), &wrote, nullptr) &&
           wrote == text.size();
}

// Our service, opened with the rights asked for; null when it is absent.
struct OpenedService {
    UniqueService manager, service;
    explicit OpenedService(DWORD access) : manager(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS)) {
        if (manager) service.reset(OpenServiceA(manager.get(), kServiceName, access));
    }
    SC_HANDLE get() const { return service.get(); }
};

struct ServiceSnapshot {
    bool exists = false;
    SERVICE_STATUS_PROCESS status{};
};

ServiceSnapshot Snapshot() {
    ServiceSnapshot s;
    OpenedService service(SERVICE_QUERY_STATUS);
    if (!service.get()) return s;
    DWORD needed = 0;
    s.exists = QueryServiceStatusEx(service.get(), SC_STATUS_PROCESS_INFO, reinterpret_cast<BYTE*>(&s.status),
                                    sizeof s.status, &needed) != 0;
    return s;
}

// Waits until the service reports state; the last snapshot either way.
ServiceSnapshot WaitServiceState(DWORD state, DWORD timeoutMs) {
    DWORD start = GetTickCount();
    for (;;) {
        ServiceSnapshot s = Snapshot();
        if (s.exists && s.status.dwCurrentState == state) return s;
        if (GetTickCount() - start >= timeoutMs) return s;
        Sleep(200);
    }
}

struct ServiceConfig {
    bool ok = false;
    DWORD serviceType = 0, startType = 0, errorControl = 0;
    std::string binaryPath, dependencies, account, displayName, arguments;
};

ServiceConfig Config() {
    ServiceConfig c;
    OpenedService service(SERVICE_QUERY_CONFIG);
    if (!service.get()) return c;
    DWORD needed = 0;
    QueryServiceConfigA(service.get(), nullptr, 0, &needed);
    std::unique_ptr<unsigned char[]> buffer(new unsigned char[needed + 16]);
    auto* q = reinterpret_cast<QUERY_SERVICE_CONFIGA*>(buffer.get());
    if (!QueryServiceConfigA(service.get(), q, needed + 16, &needed)) return c;
    c.ok = true;
    c.serviceType = q->dwServiceType;
    c.startType = q->dwStartType;
    c.errorControl = q->dwErrorControl;
    c.binaryPath = q->lpBinaryPathName ? q->lpBinaryPathName : "";
    // Wine's manager does not hand the dependencies back; it keeps them in
    // the service's key, as Windows does. A list of names, each terminated.
    char list[512] = {};
    DWORD listSize = sizeof list - 2;
    if (RegGetValueA(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Services\\Holvenstead", "DependOnService",
                     RRF_RT_REG_MULTI_SZ, nullptr, list, &listSize) == ERROR_SUCCESS)
        for (const char* d = list; *d; d += std::strlen(d) + 1) c.dependencies += std::string(d) + ";";
    c.account = q->lpServiceStartName ? q->lpServiceStartName : "";
    c.displayName = q->lpDisplayName ? q->lpDisplayName : "";
    char value[1024] = {};
    DWORD size = sizeof value - 1;
    if (RegGetValueA(HKEY_LOCAL_MACHINE, kServiceParametersKey, kServiceArgumentsValue, RRF_RT_REG_SZ, nullptr, value,
                     &size) == ERROR_SUCCESS)
        c.arguments = value;
    return c;
}

bool ChangeStartType(DWORD startType) {
    OpenedService service(SERVICE_ALL_ACCESS);
    return service.get() && ChangeServiceConfigA(service.get(), SERVICE_NO_CHANGE, startType, SERVICE_NO_CHANGE,
                                                 nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr);
}

DWORD StartTheService() {
    OpenedService service(SERVICE_START);
    if (!service.get()) return GetLastError();
    return StartServiceA(service.get(), 0, nullptr) ? 0 : GetLastError();
}

// Sends stop; the answer may come only when the handler has run the stop
// command line, or the manager may give up waiting for it first: either
// way the service's state tells the rest.
void SendStop() {
    OpenedService service(SERVICE_STOP);
    ASSERT_TRUE(service.get()) << "cannot open the service to stop it: " << GetLastError();
    SERVICE_STATUS status{};
    ControlService(service.get(), SERVICE_CONTROL_STOP, &status);
}

void DeleteTheService() {
    OpenedService service(SERVICE_ALL_ACCESS);
    if (service.get()) DeleteService(service.get());
}

// Everyone's rights on a process, from its own access list: what the closed
// descriptor grants every local user.
bool EveryoneRights(HANDLE process, DWORD* rights, std::string* why) {
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    DWORD error = GetSecurityInfo(process, SE_KERNEL_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &dacl,
                                  nullptr, &descriptor);
    UniqueLocal owned(descriptor);
    if (error != ERROR_SUCCESS) {
        *why = "GetSecurityInfo failed: " + std::to_string(error);
        return false;
    }
    if (!dacl) {
        *why = "no access list: everyone may do everything";
        return false;
    }
    BYTE world[SECURITY_MAX_SID_SIZE];
    DWORD size = sizeof world;
    CreateWellKnownSid(WinWorldSid, nullptr, world, &size);
    *rights = 0;
    for (DWORD i = 0; i < dacl->AceCount; ++i) {
        void* raw = nullptr;
        if (!GetAce(dacl, i, &raw)) continue;
        auto* ace = static_cast<ACCESS_ALLOWED_ACE*>(raw);
        if (ace->Header.AceType == ACCESS_ALLOWED_ACE_TYPE && EqualSid(&ace->SidStart, world)) *rights |= ace->Mask;
    }
    return true;
}

class ServiceTest : public ProgramTest {
protected:
    void SetUp() override {
        ProgramTest::SetUp();
        if (HasFatalFailure()) return;
        const char* work = std::getenv("HOLV_IMC_NET_WORK");
        ASSERT_TRUE(work && *work) << "run through tests/imc/imc-net-test.sh";
        work_ = ToWindowsPath(work);
        std::string config = "mac=" + std::string(kMac) + "\ndevice-name=holvenstead-svc\nserial=HV-SVC-0001\n";
        ASSERT_TRUE(ScratchFile(work_ + "\\config", config));
        power_ = work_ + "\\power";
        record_ = work_ + "\\record";
        DeleteFileA(power_.c_str());
        ClearRecord();  // what earlier tests made the appliance record
        player_ = ProgramPath("vmplayer.exe");
        ASSERT_TRUE(FileExists(player_)) << player_ << " not built";
        association_.emplace("\"" + player_ + "\" \"%1\"");
        ASSERT_EQ(association_->error(), ERROR_SUCCESS);
        DeleteTheService();
        vmx_ = WriteVmx("VM Folder\\Holvenstead.vmx", ValidVmx() + "ethernet0.present = \"TRUE\"\n" +
                                                          "ethernet0.generatedAddress = \"" + kMac + "\"\n" +
                                                          "simulator.powerFile = \"" + power_ + "\"\n");
        ASSERT_FALSE(vmx_.empty());
    }

    void TearDown() override {
        // Whatever a failed test left: the service stopped and gone, the
        // instance ended, the VM off.
        ServiceSnapshot s = Snapshot();
        if (s.exists && s.status.dwCurrentState != SERVICE_STOPPED) {
            SendStop();
            WaitServiceState(SERVICE_STOPPED, kServiceStateMs);
        }
        DeleteTheService();
        if (uiauto::FindTopWindow({kMainWindowClass, vmx_.c_str(), 0}))
            RunProgram(exe_, "-stop -exit " + vmx_, kExitWaitMs);
        DeleteFileA(power_.c_str());
    }

    std::string Record() const { return ReadFileText(record_); }
    void ClearRecord() const {
        UniqueFile f(CreateFileA(record_.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                 TRUNCATE_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    }
    // The appliance is up for an instance once it answers the instance's
    // status query: the VM runs (the simulator answers only while the
    // stand-in player keeps it powered) and the session has found it.
    bool WaitApplianceRunning() const { return WaitRecordLine("status flags=", kApplianceUpMs); }
    bool WaitRecordLine(const char* line, DWORD timeoutMs) const {
        DWORD start = GetTickCount();
        while (Record().find(line) == std::string::npos) {
            if (GetTickCount() - start >= timeoutMs) return false;
            Sleep(250);
        }
        return true;
    }
    bool PowerOn() const { return FileExists(power_); }

    // The instance serving our file: its window and process.
    HWND InstanceWindow(DWORD timeoutMs) const {
        return uiauto::WaitTopWindow({kMainWindowClass, vmx_.c_str(), 0}, timeoutMs);
    }

    void Install(const std::string& exe, const std::string& path) {
        ChildProcess p;
        ASSERT_EQ(p.Start(exe, "-install " + path), 0u);
        EndResult end = WaitAnsweringBoxes(p, kWaitMs);
        ASSERT_TRUE(end.ended) << "-install did not end";
        EXPECT_EQ(end.exitCode, 0u) << DescribeExit(end.exitCode);
        for (const BoxSeen& b : end.boxes) ADD_FAILURE() << "-install showed \"" << b.caption << "\": " << b.text;
    }

    std::string work_, power_, record_, player_, vmx_;
};

}  // namespace

TEST_F(ServiceTest, InstallCreatesTheAutomaticServiceAndRemoveDeletesIt) {
    Install(exe_, vmx_);
    EXPECT_EQ(uiauto::FindTopWindow({kMainWindowClass, nullptr, 0}), nullptr) << "no window: " << DescribeMainWindows();
    ServiceConfig c = Config();
    ASSERT_TRUE(c.ok) << "no service after -install";
    EXPECT_EQ(c.serviceType, 0x110u) << "own process, interactive";
    EXPECT_EQ(c.startType, static_cast<DWORD>(SERVICE_AUTO_START));
    EXPECT_EQ(c.errorControl, static_cast<DWORD>(SERVICE_ERROR_NORMAL));
    EXPECT_EQ(c.binaryPath, exe_) << "a path without blanks stays unquoted";
    EXPECT_EQ(c.dependencies, "TCPIP;");
    EXPECT_EQ(c.displayName, "Holvenstead");
    EXPECT_EQ(c.account, "LocalSystem");
    EXPECT_EQ(c.arguments, vmx_) << "the canonical path is the service's only parameter";
    EXPECT_TRUE(ServiceIsAutostart());

    // Installing again keeps what is stored.
    std::string other = WriteVmx("Other\\Second.vmx");
    Install(exe_, other);
    EXPECT_EQ(Config().arguments, vmx_);

    ASSERT_TRUE(ChangeStartType(SERVICE_DEMAND_START));
    EXPECT_FALSE(ServiceIsAutostart()) << "started by hand is no automatic start";

    RunResult removed = RunProgram(exe_, "-remove " + vmx_, kWaitMs);
    ASSERT_TRUE(removed.ended);
    EXPECT_EQ(removed.exitCode, 0u);
    EXPECT_FALSE(Snapshot().exists) << "-remove deletes the service";
    EXPECT_FALSE(ServiceIsAutostart());
    // Removing a missing service is silent too.
    RunResult again = RunProgram(exe_, "-remove " + vmx_, kWaitMs);
    EXPECT_EQ(again.exitCode, 0u);
}

TEST_F(ServiceTest, ServiceInAFolderWithBlanksRunsTheApplianceAndStopsIt) {
    // The program in a folder whose name has a blank: the manager must get a
    // quoted binary path, or it could start "...\Program" instead.
    std::string folder = scratch_.MakeDir("Program Folder");
    ASSERT_FALSE(folder.empty());
    std::string exe = folder + "\\Holvenstead.exe";
    ASSERT_TRUE(CopyFileA(exe_.c_str(), exe.c_str(), FALSE));
    Install(exe, vmx_);
    ServiceConfig c = Config();
    ASSERT_TRUE(c.ok);
    EXPECT_EQ(c.binaryPath, "\"" + exe + "\"");

    ASSERT_EQ(StartTheService(), 0u);
    ServiceSnapshot running = WaitServiceState(SERVICE_RUNNING, kServiceStateMs);
    ASSERT_EQ(running.status.dwCurrentState, static_cast<DWORD>(SERVICE_RUNNING));
    DWORD servicePid = running.status.dwProcessId;
    EXPECT_EQ(running.status.dwServiceType, 0x110u);

    // The child: a first instance titled with the stored path.
    HWND window = InstanceWindow(kWaitMs);
    ASSERT_NE(window, nullptr) << "the service's child shows no main window:\n" << DescribeMainWindows();
    DWORD childPid = uiauto::WindowProcessId(window);
    EXPECT_NE(childPid, servicePid) << "the service process does no appliance work itself";
    UniqueHandle child(OpenProcess(SYNCHRONIZE | READ_CONTROL | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, childPid));
    ASSERT_TRUE(child) << "cannot open the child: " << GetLastError();
    UniqueHandle service(OpenProcess(SYNCHRONIZE, FALSE, servicePid));
    ASSERT_TRUE(service);

    DWORD everyone = 0;
    std::string why;
    ASSERT_TRUE(EveryoneRights(child.get(), &everyone, &why)) << why;
    EXPECT_EQ(everyone, static_cast<DWORD>(SYNCHRONIZE | PROCESS_QUERY_INFORMATION | PROCESS_QUERY_LIMITED_INFORMATION))
        << "the child carries the closed descriptor";

    ASSERT_TRUE(WaitApplianceRunning()) << "the appliance never came up for the service's child";
    EXPECT_TRUE(PowerOn());

    // Stop: the stop command line stops the VM through the child and ends
    // it; then the service ends.
    SendStop();
    ServiceSnapshot stopped = WaitServiceState(SERVICE_STOPPED, kServiceStateMs);
    ASSERT_EQ(stopped.status.dwCurrentState, static_cast<DWORD>(SERVICE_STOPPED));
    EXPECT_EQ(stopped.status.dwWin32ExitCode, 0u);
    EXPECT_NE(Record().find("shutdown"), std::string::npos) << "the appliance was not asked to shut down";
    EXPECT_EQ(WaitForSingleObject(child.get(), kWaitMs), WAIT_OBJECT_0) << "the child still runs";
    // Under Wine the service process may outlive its stopped report by up to
    // a minute: the bound is the service manager's, not the program's.
    EXPECT_EQ(WaitForSingleObject(service.get(), kServiceStateMs), WAIT_OBJECT_0) << "the service process still runs";
    DWORD code = 1;
    GetExitCodeProcess(child.get(), &code);
    EXPECT_EQ(code, 0u) << DescribeExit(code);
    EXPECT_FALSE(PowerOn()) << "the VM was not powered off";
}

TEST_F(ServiceTest, AUserInstanceServingTheFileTakesTheStartAndTheStop) {
    Install(exe_, vmx_);
    ChildProcess user;
    Start(user, vmx_);
    ASSERT_NE(WaitInstanceWindow(user, vmx_), nullptr);
    ASSERT_EQ(StartTheService(), 0u);

    // The child hands "start" to the user's instance and ends with 183; the
    // service stays running.
    ASSERT_TRUE(WaitApplianceRunning()) << "the user's instance did not start the VM on the service's behalf";
    ServiceSnapshot s = Snapshot();
    EXPECT_EQ(s.status.dwCurrentState, static_cast<DWORD>(SERVICE_RUNNING));
    UniqueHandle service(OpenProcess(SYNCHRONIZE, FALSE, s.status.dwProcessId));
    ASSERT_TRUE(service);
    EXPECT_EQ(WaitForSingleObject(service.get(), 0), static_cast<DWORD>(WAIT_TIMEOUT)) << "the service process ended";
    HWND window = InstanceWindow(0);
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(uiauto::WindowProcessId(window), user.pid()) << "the user's instance serves the file alone";

    // Stopping the service stops the VM through the user's instance and
    // closes it.
    SendStop();
    ServiceSnapshot stopped = WaitServiceState(SERVICE_STOPPED, kServiceStateMs);
    ASSERT_EQ(stopped.status.dwCurrentState, static_cast<DWORD>(SERVICE_STOPPED));
    DWORD code = 1;
    ASSERT_TRUE(user.Wait(kWaitMs, &code)) << "the user's instance still runs";
    EXPECT_EQ(code, 0u) << DescribeExit(code);
    EXPECT_NE(Record().find("shutdown"), std::string::npos);
    EXPECT_EQ(WaitForSingleObject(service.get(), kServiceStateMs), WAIT_OBJECT_0);
    EXPECT_FALSE(PowerOn());
}

TEST_F(ServiceTest, ExitLeavesTheVmRunningForALaterInstanceWhileTheServiceIsAutomatic) {
    Install(exe_, vmx_);
    ASSERT_EQ(StartTheService(), 0u);
    ASSERT_EQ(WaitServiceState(SERVICE_RUNNING, kServiceStateMs).status.dwCurrentState,
              static_cast<DWORD>(SERVICE_RUNNING));
    ASSERT_TRUE(WaitApplianceRunning());

    // "-exit" from a user: waits for the service's child through the closed
    // descriptor, which grants everyone SYNCHRONIZE.
    RunResult bye = RunProgram(exe_, "-exit " + vmx_, kExitWaitMs);
    ASSERT_TRUE(bye.ended);
    EXPECT_EQ(bye.exitCode, 0u) << "the wait for the service's child failed: " << DescribeExit(bye.exitCode);
    ServiceSnapshot stopped = WaitServiceState(SERVICE_STOPPED, kServiceStateMs);
    ASSERT_EQ(stopped.status.dwCurrentState, static_cast<DWORD>(SERVICE_STOPPED)) << "the child's end ends the service";
    EXPECT_EQ(stopped.status.dwWin32ExitCode, 0u);
    EXPECT_EQ(Record().find("shutdown"), std::string::npos) << "Exit stopped the VM although the service is automatic";
    EXPECT_TRUE(PowerOn()) << "the VM is off";

    // A user's instance adopts the VM that the service's child started, and
    // can stop it.
    ClearRecord();
    ChildProcess user;
    Start(user, vmx_);
    ASSERT_NE(WaitInstanceWindow(user, vmx_), nullptr);
    ASSERT_TRUE(WaitApplianceRunning()) << "the running VM was not adopted";
    EndInstance(user, vmx_);
    EXPECT_TRUE(WaitRecordLine("shutdown", kWaitMs)) << "the adopted VM was not stopped";
    DWORD start = GetTickCount();
    while (PowerOn() && GetTickCount() - start < kWaitMs) Sleep(200);
    EXPECT_FALSE(PowerOn()) << "the adopted VM was not powered off";
}

TEST_F(ServiceTest, AChildThatFailsEndsTheServiceWithItsCode) {
    Install(exe_, vmx_);
    ASSERT_TRUE(DeleteFileA(vmx_.c_str()));
    ASSERT_EQ(StartTheService(), 0u);
    // The child cannot read the file: it says so and ends with the error.
    HWND box = uiauto::WaitMessageBox("Error", 0, kWaitMs);
    ASSERT_NE(box, nullptr) << "the child showed no error";
    EXPECT_EQ(uiauto::MessageBoxText(box), "VMX file not found.");
    Answer(box, IDOK);
    ServiceSnapshot stopped = WaitServiceState(SERVICE_STOPPED, kServiceStateMs);
    ASSERT_EQ(stopped.status.dwCurrentState, static_cast<DWORD>(SERVICE_STOPPED));
    EXPECT_EQ(stopped.status.dwWin32ExitCode, 1066u) << "a service-specific error";
    EXPECT_EQ(stopped.status.dwServiceSpecificExitCode, static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}
