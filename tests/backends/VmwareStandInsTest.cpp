// The VMware stand-ins driven as their backends drive them: vix.dll loaded by
// name and called with (id, address) lists ended by 0; vmware.exe with -xq.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdint>
#include <string>

#include "backends/PlayerProbe.h"
#include "e2e/E2eHarness.h"

using namespace holv;
using namespace holv::test;
using holv::e2e::ProgramPath;

namespace {

using Varargs = uint64_t (*)(int, int, ...);

class VixStandInTest : public ::testing::Test {
protected:
    void SetUp() override {
        vmx_ = scratch_.Write("vm\\A.vmx", "config.version = \"8\"\n");
        power_ = scratch_.Join("power");
        trace_ = scratch_.Join("vix.trace");
        SetEnvironmentVariableA("HOLV_VIX_CONFIG", scratch_.Join("vix.conf").c_str());
        Knobs("");
        dll_.reset(LoadLibraryA(ProgramPath("vix.dll").c_str()));
        ASSERT_TRUE(dll_) << "vix.dll not loadable, error " << GetLastError();
        for (const char* name :
             {"VixHost_Connect", "VixHost_Disconnect", "VixHost_RegisterVM", "VixVM_Open", "VixVM_PowerOn",
              "VixVM_PowerOff", "VixJob_Wait", "Vix_GetProperties", "Vix_ReleaseHandle"})
            ASSERT_NE(GetProcAddress(dll_.get(), name), nullptr) << name;
    }
    void TearDown() override { SetEnvironmentVariableA("HOLV_VIX_CONFIG", nullptr); }

    // Values take the escapes \\ \n \r \t: paths have their backslashes doubled.
    void Knobs(const std::string& text) {
        std::string paths = "trace=" + trace_ + "\npower-file=" + power_ + "\n";
        for (size_t at = 0; (at = paths.find('\\', at)) != std::string::npos; at += 2) paths.insert(at, 1, '\\');
        scratch_.Write("vix.conf", paths + text);
    }
    template <typename F>
    F Call(const char* name) {
        return reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(dll_.get(), name)));
    }
    // Waits for a job as the backend does, then releases it.
    uint64_t Wait(int job, int* result = nullptr) {
        auto wait = Call<Varargs>("VixJob_Wait");
        const uint64_t error = result ? wait(job, 3010, result, 0) : wait(job, 0);
        return Release(job), error;
    }
    int Connect(uint64_t* error) {
        using F = int (*)(int, int, const char*, int, const char*, const char*, int, int, void*, void*);
        int host = -1;
        *error = Wait(Call<F>("VixHost_Connect")(1, 2, nullptr, 0, nullptr, nullptr, 0, 0, nullptr, nullptr), &host);
        return host;
    }
    using PathCall = int (*)(int, const char*, void*, void*);
    uint64_t Register(int host) { return Wait(Call<PathCall>("VixHost_RegisterVM")(host, vmx_.c_str(), 0, 0)); }
    int Open(int host) {
        int vm = 0;
        return Wait(Call<PathCall>("VixVM_Open")(host, vmx_.c_str(), 0, 0), &vm) == 0 ? vm : 0;
    }
    void Release(int handle) { Call<void (*)(int)>("Vix_ReleaseHandle")(handle); }
    int PowerState(int vm) {
        int state = -1;
        return Call<Varargs>("Vix_GetProperties")(vm, 129, &state, 0) == 0 ? state : -1;
    }

    e2e::ScratchDir scratch_;
    UniqueModule dll_;
    std::string vmx_, power_, trace_;
};

}  // namespace

TEST_F(VixStandInTest, ServerCycleDrivesThePowerFileAndReleasesEveryJob) {
    uint64_t error = 1;
    const int host = Connect(&error);
    ASSERT_TRUE(error == 0 && host != 0) << error;
    ASSERT_EQ(Register(host), 0u);
    const int vm = Open(host);
    EXPECT_EQ(PowerState(vm), 2);
    EXPECT_EQ(Wait(Call<int (*)(int, int, int, void*, void*)>("VixVM_PowerOn")(vm, 0, 0, 0, 0)), 0u);
    EXPECT_TRUE(FileThere(power_));
    EXPECT_EQ(PowerState(vm), 8);
    EXPECT_EQ(Wait(Call<int (*)(int, int, void*, void*)>("VixVM_PowerOff")(vm, 0, 0, 0)), 0u);
    EXPECT_FALSE(FileThere(power_));
    Release(vm);
    Call<void (*)(int)>("VixHost_Disconnect")(host);
    Release(host);

    const auto lines = FileLines(trace_);
    int jobs = 0;
    for (const std::string& line : lines) {
        const size_t at = line.find("-> job=");
        const int job = at == std::string::npos ? 0 : std::atoi(line.c_str() + at + 7);
        if (job && ++jobs) {
            EXPECT_GE(LineIndex(lines, "Vix_ReleaseHandle handle=" + std::to_string(job) + " kind=job"), 0);
        }
    }
    EXPECT_EQ(jobs, 5);
    EXPECT_GE(LineIndex(lines, "Vix_ReleaseHandle handle=" + std::to_string(vm) + " kind=vm"), 0);
    EXPECT_EQ(LineIndex(lines, "Vix_ReleaseHandle handle=" + std::to_string(host) + " kind=host"),
              static_cast<int>(lines.size()) - 1);
}

TEST_F(VixStandInTest, KnobsFailCallsAndSetThePowerState) {
    Knobs("connect-error=0x1200000BB9\n");
    uint64_t error = 0;
    EXPECT_EQ(Connect(&error), 0) << "a failed connection still gave a host";
    EXPECT_EQ(error, 0x1200000BB9u);
    Knobs("register-failures=2\npower-state=72\n");
    const int host = Connect(&error);
    ASSERT_EQ(error, 0u);
    EXPECT_NE(Register(host), 0u);
    EXPECT_NE(Register(host), 0u);
    EXPECT_EQ(Register(host), 0u) << "the third registration should pass";
    EXPECT_EQ(PowerState(Open(host)), 72);
    Knobs("register-failures=1\n");  // a new text re-arms the count
    EXPECT_NE(Register(host), 0u);
}

TEST(WorkstationStandIn, RunsTheVmInItsWorkerUntilTheWorkerEnds) {
    e2e::ScratchDir scratch;
    const std::string vmx = scratch.Write("My VMs\\Appliance One.vmx", "config.version = \"8\"\n");
    const std::string log = scratch.Join("My VMs\\vmware.log"), power = scratch.Join("power");
    SetEnvironmentVariableA("HOLV_SIM_POWER_FILE", power.c_str());
    e2e::ChildProcess workstation;
    ASSERT_EQ(workstation.Start(ProgramPath("vmware.exe"), "-xq \"" + vmx + "\""), 0u);
    SetEnvironmentVariableA("HOLV_SIM_POWER_FILE", nullptr);

    std::string line;
    ASSERT_TRUE(WaitFor([&] { return (line = FirstLine(log)).find(" pid=") != std::string::npos; })) << line;
    const DWORD worker = std::strtoul(line.c_str() + line.find(" pid=") + 5, nullptr, 10);
    const auto found = FindProcess(worker);
    ASSERT_TRUE(found && lstrcmpiA(found->exe.c_str(), "vmware-vmx.exe") == 0) << line;
    EXPECT_EQ(found->parent, workstation.pid());
    EXPECT_TRUE(WaitFor([&] { return FileThere(power); })) << "appliance not powered on";
    EXPECT_FALSE(DeleteFileA(log.c_str())) << "the running VM's log could be deleted";

    // As the backend's stop does when the guest did not shut down.
    UniqueHandle process(OpenProcess(PROCESS_TERMINATE, FALSE, worker));
    ASSERT_TRUE(process && TerminateProcess(process.get(), 0));
    DWORD code = 1;
    EXPECT_TRUE(workstation.Wait(kPlayerWaitMs, &code) && code == 0) << code;
    EXPECT_FALSE(FileThere(power)) << "appliance still powered on";
    EXPECT_TRUE(DeleteFileA(log.c_str())) << "log still held, error " << GetLastError();
}
