// The host identity and the registry report against the appliance simulator,
// across the veth of imc-net-test.sh: what arrives at the appliance is read
// from the simulator's record. Runs in a throwaway prefix (netns.sh --wine).
#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

#include "e2e/E2eHarness.h"
#include "imc/ImcNetBed.h"
#include "imc/ImcOperations.h"
#include "session/FakeBackend.h"
#include "session/HostName.h"
#include "session/SearchList.h"

namespace holv {
namespace {

using test::Bed;
using Lines = std::vector<std::string>;

constexpr char kUuidText[] = "56 4d 8a 12 34 56 78 9a-bc de f0 12 34 56 78 9a";
constexpr char kTestKey[] = "SOFTWARE\\HolvReport";

std::string Hex(const std::string& bytes) {
    std::string out;
    for (unsigned char b : bytes) out += {"0123456789abcdef"[b >> 4], "0123456789abcdef"[b & 15]};
    return out;
}

// A fixed host name and VM path, so that the identity's digest is a literal
// worked out outside the program (md5sum): MD5 over "holv-host", then
// "C:\HolvIdentity\Holvenstead.vmx", then the 16 bytes of kUuidText.
constexpr char kFixedHost[] = "holv-host";
constexpr char kFixedVmx[] = "C:\\HolvIdentity\\Holvenstead.vmx";
constexpr char kFixedDigest[] = "aa47ffbe60924da1725697177bef796a";

// The value of "key=" in a record line, up to the next blank.
std::string Field(const std::string& line, const std::string& key) {
    size_t at = line.find(" " + key + "=");
    if (at == std::string::npos) return "";
    at += key.size() + 2;
    return line.substr(at, line.find(' ', at) - at);
}

LONG SetValue(const char* name, DWORD type, const void* data, size_t size) {
    return RegSetKeyValueA(HKEY_LOCAL_MACHINE, kTestKey, name, type, data, static_cast<DWORD>(size));
}

class HostIdentityNet : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(e2e::InThrowawayPrefix()) << "changes the registry: run through tests/imc/imc-net-test.sh";
        std::string problem;
        ASSERT_TRUE(Bed().Load(problem)) << problem;
        ASSERT_TRUE(Bed().WaitForSimulator()) << "the simulator never wrote its pid file";
        ImcDestroy();
        ASSERT_TRUE(Bed().PowerOn());
        ASSERT_TRUE(Bed().Configure());
        Bed().ClearRecord();
        ASSERT_TRUE(dir_.ok());
        backend_.configPath =
            dir_.Write("Holvenstead.vmx", e2e::ValidVmx() + "uuid.bios = \"" + kUuidText +
                                              "\"\nethernet0.generatedAddress = \"00:0c:29:5a:5a:02\"\n");
        ASSERT_FALSE(backend_.configPath.empty());
        std::memcpy(backend_.applianceMac, test::kSimMac, 6);
        ASSERT_EQ(ImcCreate(), 0);
        // The appliance's address is known, as after a status answer: each
        // request then waits long enough for its answer.
        ImcSetTarget(Bed().appliance());
    }
    void TearDown() override { ImcDestroy(); }
    e2e::ScratchDir dir_;
    test::FakeBackend backend_;
};

// A registration sends the identity, then 14, and clears resync. Without a
// UUID nothing is sent, and an unanswered registration is no registration:
// either way it is tried again (resync stays set).
TEST_F(HostIdentityNet, OnlyAnAnsweredRegistrationClearsResync) {
    ASSERT_EQ(
        RegSetKeyValueA(HKEY_LOCAL_MACHINE, kTcpipParametersKey, "Hostname", REG_SZ, kFixedHost, sizeof kFixedHost),
        ERROR_SUCCESS);
    CreateDirectoryA("C:\\HolvIdentity", nullptr);
    ASSERT_TRUE(CopyFileA(backend_.configPath.c_str(), kFixedVmx, FALSE));
    backend_.configPath = kFixedVmx;
    ASSERT_EQ(backend_.RegisterHostName(0x40000000), 0);
    EXPECT_EQ(backend_.resync, 0);
    Lines record = Bed().RecordWithAtLeast(2);
    ASSERT_EQ(record.size(), 2u) << test::Joined(record);
    EXPECT_EQ(record[0].rfind("identity host=", 0), 0u) << record[0];
    EXPECT_NE(record[0].find(" options=0x40000000"), std::string::npos) << record[0];
    EXPECT_EQ(Field(record[0], "host"), kFixedHost) << record[0];
    EXPECT_EQ(Field(record[0], "digest"), kFixedDigest) << record[0];
    EXPECT_EQ(record[1], "set 61440.61584 int 14");
    Bed().ClearRecord();

    const std::string withUuid = backend_.configPath;
    backend_.configPath = dir_.Write("NoUuid.vmx", e2e::ValidVmx());
    backend_.resync = 0;
    EXPECT_EQ(backend_.RegisterHostName(0), 1228);
    EXPECT_EQ(backend_.resync, 1);
    // Something the simulator records afterwards marks the end of the record.
    ImcSetInteger(test::kSimMac, "", "", 1, 1, 2, 0);
    EXPECT_EQ(Bed().RecordWithAtLeast(1), Lines{"set 1.1 int 0"});

    backend_.configPath = withUuid;
    ASSERT_TRUE(Bed().PowerOff());
    EXPECT_NE(backend_.RegisterHostName(0), 0);
    EXPECT_EQ(backend_.resync, 1);
}

TEST_F(HostIdentityNet, RegistryValuesArriveAsText) {
    const DWORD five = 5;
    ASSERT_EQ(SetValue("Name", REG_SZ, "hello", 6), 0);
    ASSERT_EQ(SetValue("Count", REG_DWORD, &five, sizeof five), 0);
    ASSERT_EQ(SetValue("", REG_SZ, "default", 8), 0);
    // Each action, and below the text then sent (empty where there is none).
    const char* actions[] = {
        "[reg] HKLM\\SOFTWARE\\HolvReport\\Name",    "[reg]HKEY_LOCAL_MACHINE\\SOFTWARE\\HolvReport\\Count",
        "[reg] HKLM\\SOFTWARE\\HolvReport\\Missing", "[reg] hklm\\SOFTWARE\\HolvReport\\Count",
        "[reg] HKLM\\SOFTWARE\\HolvReport\\",        "[reg] HKLM\\Count",
    };
    for (const char* a : actions) backend_.CarryOutAction(a);
    Lines sets;
    for (const auto& line : Bed().RecordWithAtLeast(6))
        if (line.rfind("set ", 0) == 0) sets.push_back(line);
    const std::string p = "set 61440.61586 string ";
    Lines expected = {p + Hex("hello") + "ff", p + "35ff", p + "ff", p + "ff", p + Hex("default") + "ff", p + "ff"};
    EXPECT_EQ(sets, expected) << test::Joined(sets);
}

}  // namespace
}  // namespace holv
