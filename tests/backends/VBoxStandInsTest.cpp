// The VirtualBox stand-ins, run the way the program's setup and backend run
// them: plain command lines in the VM's folder.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <tuple>
#include <vector>

#include "base/Unique.h"
#include "e2e/E2eHarness.h"

using namespace holv;
using namespace holv::e2e;

namespace {

constexpr DWORD kWaitMs = 60000;  // a bound for failures: Wine can be slow to start things
constexpr char kNet[] = "SYSTEM\\CurrentControlSet\\Control\\Network\\{4D36E972-E325-11CE-BFC1-08002BE10318}";
constexpr char kClass[] = "SYSTEM\\CurrentControlSet\\Control\\Class\\{4D36E972-E325-11CE-BFC1-08002BE10318}";

// Without a path or quotes, as the program's RunCommand passes them.
UniqueHandle Start(std::string command, HANDLE out = nullptr) {
    STARTUPINFOA si{};
    si.cb = sizeof si, si.dwFlags = STARTF_USESTDHANDLES, si.hStdOutput = si.hStdError = out;
    PROCESS_INFORMATION pi{};
    if (!CreateProcessA(nullptr, command.data(), 0, 0, out != nullptr, CREATE_NO_WINDOW, 0, 0, &si, &pi)) return {};
    CloseHandle(pi.hThread);
    return UniqueHandle(pi.hProcess);
}
DWORD WaitEnd(const UniqueHandle& p) {
    DWORD code = 0xFFFFFFFF;
    if (p && WaitForSingleObject(p.get(), kWaitMs) == WAIT_OBJECT_0) GetExitCodeProcess(p.get(), &code);
    return code;
}
// Runs to the end: the exit code, with the output in *out, read only then
// (the pipe holds it all), as Wine may start helpers holding the write end.
DWORD RunLine(const std::string& command, std::string* out = nullptr) {
    SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};
    UniqueHandle read, write;
    if (!CreatePipe(read.put(), write.put(), &sa, 1 << 16)) return 0xFFFFFFFF;
    const DWORD code = WaitEnd(Start(command, write.get()));
    char buf[512];
    for (DWORD n = 0; PeekNamedPipe(read.get(), 0, 0, 0, &n, 0) && n && ReadFile(read.get(), buf, sizeof buf, &n, 0);)
        if (out) out->append(buf, n);
    return code;
}
template <typename F>
bool WaitFor(F done) {
    for (DWORD waited = 0; !done() && waited < kWaitMs; waited += 100) Sleep(100);
    return done();
}
// The GUID of the TAP adapter with that connection name, when class entry
// and connection agree as the program needs them to; empty when none does.
std::string FindAdapterGuid(const std::string& name) {
    auto RegText = [](const std::string& key, const char* value) {
        char v[256] = {};
        DWORD size = sizeof v - 1;
        return RegGetValueA(HKEY_LOCAL_MACHINE, key.c_str(), value, RRF_RT_REG_SZ, 0, v, &size) ? "" : std::string(v);
    };
    UniqueKey cls;
    char e[256];
    RegOpenKeyExA(HKEY_LOCAL_MACHINE, kClass, 0, KEY_READ, cls.put());
    for (DWORD i = 0, n = sizeof e; cls && !RegEnumKeyExA(cls.get(), i, e, &n, 0, 0, 0, 0); ++i, n = sizeof e) {
        const std::string entry = std::string(kClass) + "\\" + e, guid = RegText(entry, "NetCfgInstanceId");
        if (RegText(entry, "ProductName") == "VirtualBox TAP Adapter" &&
            RegText(std::string(kNet) + "\\" + guid + "\\Connection", "Name") == name)
            return guid;
    }
    return {};
}

class VBoxStandInsTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(InThrowawayPrefix()) << "creates adapters in HKLM: run it through scripts/wine-fresh.sh";
        // regsvr32 looks in the current folder; the programs come from this test's folder.
        ASSERT_TRUE(CopyFileA(ProgramPath("VBoxC.dll").c_str(), vm_.Join("VBoxC.dll").c_str(), FALSE));
        SetEnvironmentVariableA("HOLV_VBOX_CONFIG", vm_.Join("vbox-standin.conf").c_str());
        SetEnvironmentVariableA("VBOX_USER_HOME", vm_.path().c_str());
        ASSERT_TRUE(SetCurrentDirectoryA(vm_.path().c_str()));
        Configure("");
    }
    void TearDown() override { SetCurrentDirectoryA(ProgramPath("").c_str()); }
    void Configure(const std::string& extra) {
        vm_.Write("vbox-standin.conf", "trace=" + vm_.Join("trace.txt") + "\npower-file=" + power_ + "\n" + extra);
    }
    ScratchDir vm_;
    const std::string power_ = vm_.Join("power");
};

}  // namespace

// The setup's repair, adapter and VM steps in turn, refusals between them.
TEST_F(VBoxStandInsTest, SetupCommandsLeaveWhatTheProgramReads) {
    const std::string list = "VBoxManage list hostifs", create = "VBoxManage createhostif \"Holvenstead Adapter\"",
                      modify = "VBoxManage modifyvm Holvenstead -nic1 hostif -hostifdev1 \"Holvenstead Adapter\"";
    // clang-format off
    const std::vector<std::tuple<std::string, std::string, DWORD>> steps = {
        {"", list, 1}, {"", "VBoxSVC.exe /ReRegServer", 0}, {"", "regsvr32 /s /u VBoxC.dll", 0},
        {"", "regsvr32 /s VBoxC.dll", 0}, {"", list, 0}, {"", create, 0}, {"", create, 1},
        {"fail.createhostif=3", "VBoxManage createhostif \"Knob Adapter\"", 3}, {"", modify, 1},
        {"", "VBoxHeadless -s Holvenstead", 1}, {"", "VBoxManage controlvm Holvenstead poweroff", 1},
        {"", "VBoxManage createvm -name Holvenstead -register -uuid 00112233-4455-6677-8899-aabbccddeeff", 0},
        {"", modify + " -macaddress1 000C29ABCDEF", 0}, {"", list, 0}};
    // clang-format on
    std::string trace, out;
    for (const auto& [config, command, code] : steps) {
        Configure("fail.list=1\nfail-times.list=1\n" + config);
        EXPECT_EQ(RunLine(command, &(out = "")), code) << command << "\n" << out;
        trace += command + "\n";
    }
    EXPECT_EQ(ReadFileText(vm_.Join("trace.txt")), trace);
    EXPECT_EQ(FindAdapterGuid("Knob Adapter"), "") << "a failing createhostif left an adapter";
    const std::string guid = FindAdapterGuid("Holvenstead Adapter");  // out: the last listing
    ASSERT_FALSE(guid.empty()) << "no adapter the program would find";
    EXPECT_NE(out.find("Holvenstead Adapter\nGUID:            " + guid), std::string::npos) << out;
    const std::string xml = ReadFileText(vm_.Join("Machines\\Holvenstead\\Holvenstead.xml"));
    EXPECT_NE(xml.find("<Machine uuid=\"{00112233-4455-6677-8899-aabbccddeeff}\""), std::string::npos) << xml;
    EXPECT_NE(xml.find("<Adapter slot=\"0\" enabled=\"true\" MACAddress=\"000C29ABCDEF\""), std::string::npos) << xml;
    EXPECT_NE(xml.find("<Adapter slot=\"1\" enabled=\"false\" MACAddress=\"080027"), std::string::npos) << xml;

    Configure("list-output=Name: X\\nGUID: {1}\\n\nlist-exit=7");
    EXPECT_EQ(RunLine(list, &(out = "")), 7u);
    EXPECT_EQ(out, "Name: X\nGUID: {1}\n") << "the configured listing, exactly";
}

// Front ends run until powered off or killed; a blocked command waits for its file.
TEST_F(VBoxStandInsTest, LongRunningCommands) {
    ASSERT_EQ(RunLine("VBoxManage createvm -name Holvenstead -register"), 0u);
    UniqueHandle headless = Start("VBoxHeadless -s Holvenstead");
    ASSERT_TRUE(WaitFor([&] { return FileExists(power_); })) << "not powered on";
    EXPECT_EQ(RunLine("VBoxSDL -vm Holvenstead"), 1u) << "a second front end for a running VM";
    EXPECT_EQ(RunLine("VBoxManage controlvm Holvenstead poweroff"), 0u);
    EXPECT_EQ(WaitEnd(headless), 0u);
    EXPECT_FALSE(FileExists(power_));
    UniqueHandle sdl = Start("VBoxSDL -vm Holvenstead");
    ASSERT_TRUE(WaitFor([&] { return FileExists(power_); }));
    TerminateProcess(sdl.get(), 9);
    EXPECT_TRUE(WaitFor([&] { return !FileExists(power_); })) << "a killed front end left the appliance on";

    Configure("block.createhostif=" + vm_.Join("go") + "\n");
    UniqueHandle p = Start("VBoxManage createhostif \"Blocked Adapter\"");
    ASSERT_TRUE(WaitFor([&] { return ReadFileText(vm_.Join("trace.txt")).find("Blocked") != std::string::npos; }));
    EXPECT_EQ(WaitForSingleObject(p.get(), 500), static_cast<DWORD>(WAIT_TIMEOUT)) << "did not wait";
    EXPECT_EQ(FindAdapterGuid("Blocked Adapter"), "");
    vm_.Write("go", "");
    EXPECT_EQ(WaitEnd(p), 0u);
    EXPECT_NE(FindAdapterGuid("Blocked Adapter"), "");
}
