// The host identity and the registry report against the appliance simulator,
// across the veth of imc-net-test.sh: what arrives at the appliance is read
// from the simulator's record. Runs in a throwaway prefix (netns.sh --wine),
// so the test may change the registry.
#include <gtest/gtest.h>
#include <windows.h>
// After windows.h, which it builds on.
#include <wincrypt.h>

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
constexpr uint8_t kUuid[16] = {0x56, 0x4d, 0x8a, 0x12, 0x34, 0x56, 0x78, 0x9a,
                               0xbc, 0xde, 0xf0, 0x12, 0x34, 0x56, 0x78, 0x9a};
constexpr char kTestKey[] = "SOFTWARE\\HolvReport";
constexpr char kConnectionsKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\Connections";

std::string Hex(const void* data, size_t size) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (size_t i = 0; i < size; ++i) {
        uint8_t b = static_cast<const uint8_t*>(data)[i];
        out += digits[b >> 4];
        out += digits[b & 15];
    }
    return out;
}
std::string Hex(const std::string& s) {
    return Hex(s.data(), s.size());
}

// MD5 straight from the CryptoAPI, independently of the code under test.
std::string Md5Hex(const std::string& bytes) {
    HCRYPTPROV provider = 0;
    HCRYPTHASH hash = 0;
    uint8_t digest[16] = {};
    DWORD size = sizeof digest;
    bool ok = CryptAcquireContextA(&provider, nullptr, nullptr, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT) &&
              CryptCreateHash(provider, CALG_MD5, 0, 0, &hash) &&
              CryptHashData(hash, reinterpret_cast<const BYTE*>(bytes.data()), static_cast<DWORD>(bytes.size()), 0) &&
              CryptGetHashParam(hash, HP_HASHVAL, digest, &size, 0);
    if (hash) CryptDestroyHash(hash);
    if (provider) CryptReleaseContext(provider, 0);
    return ok ? Hex(digest, sizeof digest) : "<md5 failed>";
}

std::string RegistryHostName() {
    char text[256] = {};
    DWORD size = sizeof text;
    RegGetValueA(HKEY_LOCAL_MACHINE, kTcpipParametersKey, "Hostname", RRF_RT_REG_SZ, nullptr, text, &size);
    return text;
}

// The field "name=value" of a record line.
std::string Field(const std::string& line, const std::string& name) {
    size_t at = line.find(" " + name + "=");
    if (at == std::string::npos) return "<missing>";
    at += name.size() + 2;
    return line.substr(at, line.find(' ', at) - at);
}

LONG SetValue(HKEY root, const char* keyPath, const char* name, DWORD type, const std::string& data) {
    UniqueKey key;
    LONG rc = RegCreateKeyExA(root, keyPath, 0, nullptr, 0, KEY_SET_VALUE, nullptr, key.put(), nullptr);
    if (rc != ERROR_SUCCESS) return rc;
    return RegSetValueExA(key.get(), name, 0, type, reinterpret_cast<const BYTE*>(data.data()),
                          static_cast<DWORD>(data.size()));
}

std::string Word(uint32_t v) {
    std::string s(4, '\0');
    for (int i = 0; i < 4; ++i) s[i] = static_cast<char>(v >> (8 * i));
    return s;
}
std::string Str(const std::string& t) {
    return Word(static_cast<uint32_t>(t.size())) + t;
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
    // The record's lines that begin with prefix, once `count` lines are there.
    Lines Recorded(const std::string& prefix, size_t count) {
        Lines all = Bed().RecordWithAtLeast(count), out;
        for (const auto& l : all)
            if (l.rfind(prefix, 0) == 0) out.push_back(l);
        return out;
    }
    e2e::ScratchDir dir_;
    test::FakeBackend backend_;
};

TEST_F(HostIdentityNet, RegistrationSendsNameDigestFreshBytesThenFourteen) {
    backend_.state = StateRunning;
    ASSERT_EQ(backend_.resync, 1);
    ASSERT_EQ(backend_.RegisterHostName(0), 0);
    EXPECT_EQ(backend_.resync, 0);
    ASSERT_EQ(backend_.RegisterHostName(0x40000000), 0);
    EXPECT_EQ(backend_.resync, 0);

    Lines record = Bed().RecordWithAtLeast(4);
    ASSERT_EQ(record.size(), 4u) << test::Joined(record);
    // In order: identity, the integer 14, identity, 14.
    EXPECT_EQ(record[0].rfind("identity ", 0), 0u) << record[0];
    EXPECT_EQ(record[1], "set 61440.61584 int 14");
    EXPECT_EQ(record[2].rfind("identity ", 0), 0u) << record[2];
    EXPECT_EQ(record[3], "set 61440.61584 int 14");

    std::string host = RegistryHostName();
    ASSERT_FALSE(host.empty());
    std::string expected = Md5Hex(host + backend_.configPath + std::string(reinterpret_cast<const char*>(kUuid), 16));
    for (int i : {0, 2}) {
        EXPECT_EQ(Field(record[i], "host"), host);
        EXPECT_EQ(Field(record[i], "digest"), expected);
        EXPECT_EQ(Field(record[i], "block128").size(), 256u);
        EXPECT_NE(Field(record[i], "time"), "-");
    }
    EXPECT_NE(Field(record[0], "block128"), Field(record[2], "block128"));
    EXPECT_EQ(Field(record[0], "options"), "0x00000000");
    EXPECT_EQ(Field(record[2], "options"), "0x40000000");
}

TEST_F(HostIdentityNet, WithoutAUuidNothingIsSentAndResyncStays) {
    backend_.configPath = dir_.Write("NoUuid.vmx", e2e::ValidVmx());
    backend_.resync = 0;
    EXPECT_EQ(backend_.RegisterHostName(0), 1228);
    EXPECT_EQ(backend_.resync, 1);
    // Something the simulator records afterwards marks the end of the record.
    ImcSetInteger(test::kSimMac, "", "", 1, 1, 2, 0);
    Lines record = Bed().RecordWithAtLeast(1);
    ASSERT_EQ(record.size(), 1u) << test::Joined(record);
    EXPECT_EQ(record[0], "set 1.1 int 0");
}

TEST_F(HostIdentityNet, AnUnansweredRegistrationKeepsResync) {
    ASSERT_TRUE(Bed().PowerOff());
    EXPECT_NE(backend_.RegisterHostName(0), 0);
    EXPECT_EQ(backend_.resync, 1);
}

TEST_F(HostIdentityNet, RegistryValuesArriveAsText) {
    ASSERT_EQ(SetValue(HKEY_LOCAL_MACHINE, kTestKey, "Name", REG_SZ, std::string("hello\0", 6)), 0);
    ASSERT_EQ(SetValue(HKEY_LOCAL_MACHINE, kTestKey, "Count", REG_DWORD, Word(5)), 0);
    ASSERT_EQ(SetValue(HKEY_LOCAL_MACHINE, kTestKey, "", REG_SZ, std::string("default\0", 8)), 0);
    std::string blob = Word(0x46) + Word(2) + Word(3) + Str("proxy:8080") + Str("") + Str("<local>");
    ASSERT_EQ(SetValue(HKEY_CURRENT_USER, kConnectionsKey, "DefaultConnectionSettings", REG_BINARY, blob), 0);
    ASSERT_EQ(SetValue(HKEY_CURRENT_USER, kConnectionsKey, "OtherBlob", REG_BINARY, blob), 0);

    const char* actions[] = {
        "[reg] HKLM\\SOFTWARE\\HolvReport\\Name",
        "[reg]HKEY_LOCAL_MACHINE\\SOFTWARE\\HolvReport\\Count",
        "[reg] HKLM\\SOFTWARE\\HolvReport\\Missing",
        "[reg] hklm\\SOFTWARE\\HolvReport\\Count",
        "[reg] HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\Connections\\"
        "DefaultConnectionSettings",
        "[reg] HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\Connections\\OtherBlob",
        "[reg] HKLM\\SOFTWARE\\HolvReport\\",
        "[reg] HKLM\\Count",
    };
    for (const char* a : actions) backend_.CarryOutAction(a);
    Lines sets = Recorded("set ", 8);
    const std::string p = "set 61440.61586 string ";
    Lines expected = {
        p + Hex("hello") + "ff",   p + "35ff", p + "ff", p + "ff", p + Hex("m--;proxy:8080;;<local>") + "ff", p + "ff",
        p + Hex("default") + "ff", p + "ff"};
    EXPECT_EQ(sets, expected) << test::Joined(sets);
}

}  // namespace
}  // namespace holv
