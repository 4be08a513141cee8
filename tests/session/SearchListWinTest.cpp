// The DNS search list in the Wine registry: the "[suffix]" action with its
// backup, the restores (lost contact, Stop, the next start), and the adapter
// lease renewal behind its seam. Changes the TCP/IP parameters: runs only in
// a throwaway prefix (holv_e2e_test).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "e2e/E2eHarness.h"
#include "session/FakeBackend.h"
#include "session/SearchList.h"

namespace holv {
namespace {

constexpr char kNetworkKey[] = "SYSTEM\\CurrentControlSet\\Control\\Network\\{4D36E972-E325-11CE-BFC1-08002BE10318}";
constexpr char kClassKey[] = "SYSTEM\\CurrentControlSet\\Control\\Class\\{4D36E972-E325-11CE-BFC1-08002BE10318}";
constexpr char kGuid[] = "{6B1E0F3A-0000-4C1D-9A5B-0123456789AB}";

class Recorder : public AdapterControl {
public:
    void ReleaseLease(const char*) override {}
    void RenewLease(const char* name) override { renewed.push_back(name); }
    std::vector<std::string> renewed;
};

// A value of the TCP/IP parameters: its text, "<none>" when missing.
std::string Get(const char* name) {
    char text[4096];
    DWORD size = sizeof text, type = 0;
    UniqueKey key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kTcpipParametersKey, 0, KEY_QUERY_VALUE, key.put()) != ERROR_SUCCESS)
        return "<no key>";
    if (RegQueryValueExA(key.get(), name, nullptr, &type, reinterpret_cast<BYTE*>(text), &size) != ERROR_SUCCESS)
        return "<none>";
    return type == REG_SZ ? std::string(text) : "<type " + std::to_string(type) + ">";
}

LONG SetValue(HKEY root, const std::string& keyPath, const char* name, DWORD type, const std::string& data) {
    UniqueKey key;
    LONG rc = RegCreateKeyExA(root, keyPath.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, key.put(), nullptr);
    if (rc != ERROR_SUCCESS) return rc;
    return RegSetValueExA(key.get(), name, 0, type, reinterpret_cast<const BYTE*>(data.data()),
                          static_cast<DWORD>(data.size()));
}

// A string value as the registry stores it, with its NUL.
LONG Set(const char* name, const std::string& text) {
    return SetValue(HKEY_LOCAL_MACHINE, kTcpipParametersKey, name, REG_SZ, std::string(text.c_str(), text.size() + 1));
}

void Remove(const char* name) {
    UniqueKey key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kTcpipParametersKey, 0, KEY_SET_VALUE, key.put()) == ERROR_SUCCESS)
        RegDeleteValueA(key.get(), name);
}

class SearchList : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(e2e::InThrowawayPrefix()) << "changes the TCP/IP parameters: run through scripts/wine-fresh.sh";
        for (const char* v : {"SearchList", "SearchListBackupSC", "NV Domain"}) Remove(v);
    }
    Recorder lease;
};

TEST_F(SearchList, BadValuesAndTemplatesLeaveTheUsersListRecoverable) {
    // A list too long to be backed up whole is not replaced.
    std::string huge(3000, 'h');
    ASSERT_EQ(Set("SearchList", huge), 0);
    UpdateSearchList("+,x", lease);
    EXPECT_EQ(Get("SearchList"), huge);
    EXPECT_EQ(Get("SearchListBackupSC"), "<none>");

    // A list of another type neither.
    ASSERT_EQ(SetValue(HKEY_LOCAL_MACHINE, kTcpipParametersKey, "SearchList", REG_MULTI_SZ, std::string("a\0b\0\0", 5)),
              0);
    UpdateSearchList("x", lease);
    EXPECT_EQ(Get("SearchList"), "<type 7>");

    // A value stored without its NUL is read as text all the same.
    ASSERT_EQ(SetValue(HKEY_LOCAL_MACHINE, kTcpipParametersKey, "SearchList", REG_SZ, "u.example"), 0);
    // An over-long template with many placeholders: cut at 1023 characters.
    std::string tmpl;
    for (int i = 0; i < 400; ++i) tmpl += "+,&,x";
    UpdateSearchList(tmpl.c_str(), lease);
    EXPECT_EQ(Get("SearchListBackupSC"), "u.example");
    std::string list = Get("SearchList");
    EXPECT_EQ(list.size(), 1023u);
    // The empty primary suffix takes its comma along each time.
    EXPECT_EQ(list.substr(0, 24), "u.example,xu.example,xu.");
    UpdateSearchList(nullptr, lease);
    EXPECT_EQ(Get("SearchList"), "u.example");
    EXPECT_EQ(Get("SearchListBackupSC"), "<none>");
}

TEST_F(SearchList, ActionStopAndTheNextStartRestore) {
    e2e::ScratchDir dir;
    std::string vmx = dir.Write("Holvenstead.vmx", e2e::ValidVmx());
    ASSERT_FALSE(vmx.empty());
    ASSERT_EQ(Set("SearchList", "own.example"), 0);

    test::FakeBackend backend;
    backend.configPath = vmx;
    backend.CarryOutAction("[suffix] +,corp.example");
    EXPECT_EQ(Get("SearchList"), "own.example,corp.example");
    backend.Stop();
    EXPECT_EQ(Get("SearchList"), "own.example");
    EXPECT_EQ(Get("SearchListBackupSC"), "<none>");

    // A run that ended with the list changed: the next start puts it back.
    backend.CarryOutAction("[suffix]corp.example");
    EXPECT_EQ(Get("SearchList"), "corp.example");
    test::FakeBackend next;
    ASSERT_EQ(next.LoadVmConfig(vmx), 0);
    EXPECT_EQ(Get("SearchList"), "own.example");
    EXPECT_EQ(Get("SearchListBackupSC"), "<none>");
}

TEST_F(SearchList, TheHostAdaptersLeaseIsRenewedWhenThereIsOne) {
    // A connection of that name that is no TAP adapter does not count; nor
    // does a longer name.
    std::string connection = std::string(kNetworkKey) + "\\" + kGuid + "\\Connection";
    ASSERT_EQ(SetValue(HKEY_LOCAL_MACHINE, connection, "Name", REG_SZ, std::string("Holvenstead Adapter\0", 20)), 0);
    RenewAdapterLease(lease);
    EXPECT_TRUE(lease.renewed.empty());
    std::string device = std::string(kClassKey) + "\\0742";
    ASSERT_EQ(SetValue(HKEY_LOCAL_MACHINE, device, "NetCfgInstanceId", REG_SZ, std::string(kGuid) + '\0'), 0);
    ASSERT_EQ(SetValue(HKEY_LOCAL_MACHINE, device, "ProductName", REG_SZ, std::string("VirtualBox TAP Adapter\0", 23)),
              0);
    ASSERT_EQ(SetValue(HKEY_LOCAL_MACHINE, connection, "Name", REG_SZ, std::string("Holvenstead Adapter 2\0", 22)), 0);
    RenewAdapterLease(lease);
    EXPECT_TRUE(lease.renewed.empty());

    ASSERT_EQ(SetValue(HKEY_LOCAL_MACHINE, connection, "Name", REG_SZ, std::string("Holvenstead Adapter\0", 20)), 0);
    ASSERT_EQ(Set("SearchList", "a"), 0);
    UpdateSearchList("b,+", lease);    // a change renews
    UpdateSearchList(nullptr, lease);  // and so does a restore
    UpdateSearchList(nullptr, lease);  // but not one with nothing to restore
    ASSERT_EQ(lease.renewed.size(), 2u);
    EXPECT_EQ(lease.renewed[0], std::string("\\DEVICE\\TCPIP_") + kGuid);
    // Once found, the adapter is kept for the life of the process.
    ASSERT_EQ(SetValue(HKEY_LOCAL_MACHINE, connection, "Name", REG_SZ, std::string("Renamed\0", 8)), 0);
    EXPECT_EQ(FindAdapterGuid().value_or("<none>"), kGuid);
}

}  // namespace
}  // namespace holv
