#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "backends/CvmxVBox.h"
#include "base/Unique.h"
#include "session/Association.h"
#include "session/HostAdapter.h"

using namespace holv;

namespace {

constexpr char kDocumentKey[] = "Software\\Classes\\VMware.Document";
constexpr char kCommandKey[] = "Software\\Classes\\VMware.Document\\shell\\open\\command";

void SetCommand(HKEY root, const std::string& bytes, DWORD type = REG_SZ) {
    UniqueKey key;
    ASSERT_EQ(RegCreateKeyExA(root, kCommandKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, key.put(), nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExA(key.get(), nullptr, 0, type, reinterpret_cast<const BYTE*>(bytes.data()),
                             static_cast<DWORD>(bytes.size())),
              ERROR_SUCCESS);
}

void SetText(HKEY root, const std::string& path, const char* name, const std::string& text) {
    UniqueKey key;
    ASSERT_EQ(RegCreateKeyExA(root, path.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, key.put(), nullptr), 0);
    ASSERT_EQ(RegSetValueExA(key.get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                             static_cast<DWORD>(text.size() + 1)),
              0);
}

// The association (machine's and user's) in this test's Wine prefix, removed
// (whole tree) afterwards.
class Association : public ::testing::Test {
protected:
    void SetUp() override {
        for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER}) {
            UniqueKey existing;
            ASSERT_NE(RegOpenKeyExA(root, kDocumentKey, 0, KEY_READ, existing.put()), ERROR_SUCCESS)
                << "a real association is present; the test would destroy it";
        }
    }
    void TearDown() override {
        RegDeleteTreeA(HKEY_LOCAL_MACHINE, kDocumentKey);
        RegDeleteTreeA(HKEY_CURRENT_USER, kDocumentKey);
    }
};

}  // namespace

// Each row: the command value as stored (bytes, type), the text read from
// it, and whether the registry may refuse to hand it over at all.
TEST_F(Association, StoredValuesAndTheTextRead) {
    EXPECT_EQ(ReadPlayerAssociation(), std::nullopt);  // no key
    const DWORD number = 5;
    const struct {
        std::string bytes;
        DWORD type;
        std::optional<std::string> text;
        bool orNone = false;
    } rows[] = {
        {std::string("\"C:\\VMware\\vmplayer.exe\" \"%1\"\0", 31), REG_SZ, "\"C:\\VMware\\vmplayer.exe\" \"%1\""},
        {"", REG_SZ, std::nullopt},
        {"C:\\P\\vmplayer.exe", REG_SZ, "C:\\P\\vmplayer.exe"},         // stored without its terminator
        {std::string(400, 'x') + '\0', REG_SZ, std::nullopt},           // longer than the 256-byte buffer
        {std::string(255, 'z') + '\0', REG_SZ, std::string(255, 'z')},  // fills the 256 bytes: read whole
        // 256 bytes without terminator: Wine refuses it (no room for the
        // terminator it adds), Windows may hand over all 256; cut to 255.
        {std::string(256, 'y'), REG_SZ, std::string(255, 'y'), true},
        {std::string(reinterpret_cast<const char*>(&number), sizeof number), REG_DWORD, std::nullopt},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.bytes.substr(0, 40));
        SetCommand(HKEY_LOCAL_MACHINE, r.bytes, r.type);
        auto text = ReadPlayerAssociation();
        EXPECT_EQ(r.orNone ? text.value_or(*r.text) : text, r.text);
    }
}

// The command runs elevated: a class the user registered for the VM file type
// is never read, with or without the machine's own. (On Windows it wins in
// the merged HKEY_CLASSES_ROOT; Wine does not merge the user's classes in,
// so here the row catches a reader that looks at them itself.)
TEST_F(Association, TheUsersOwnClassIsIgnored) {
    SetCommand(HKEY_CURRENT_USER, "\"C:\\Users\\u\\evil.exe\" \"%1\"");
    EXPECT_EQ(ReadPlayerAssociation(), std::nullopt);
    SetCommand(HKEY_LOCAL_MACHINE, "\"C:\\VMware\\vmplayer.exe\" \"%1\"");
    EXPECT_EQ(ReadPlayerAssociation(), "\"C:\\VMware\\vmplayer.exe\" \"%1\"");
}

// The VirtualBox adapter whose lease is renewed, under a scratch key laid out
// as the machine's: the first connection of exactly our name that is a TAP
// device. Each row: the two connections' names, the two devices' products
// (the first GUID's device listed second), and the GUID found.
TEST(HostAdapter, FoundByExactNameAndTapProduct) {
    constexpr char kScratch[] = "Software\\HolvensteadTest\\HostAdapter";
    const std::string net = "SYSTEM\\CurrentControlSet\\Control\\Network\\{4D36E972-E325-11CE-BFC1-08002BE10318}\\",
                      cls = "SYSTEM\\CurrentControlSet\\Control\\Class\\{4D36E972-E325-11CE-BFC1-08002BE10318}\\000";
    const char* guids[] = {"{1111AAAA-0000-0000-0000-000000000001}", "{22222222-0000-0000-0000-000000000002}"};
    const char *tap = "VirtualBox TAP Adapter", *other = "VirtualBox Host-Only Adapter";
    const struct {
        const char *name[2], *product[2], *found;
    } rows[] = {
        {{kHostAdapterName, kHostAdapterName}, {tap, other}, guids[1]},  // the first is no TAP device
        {{kHostAdapterName, kHostAdapterName}, {tap, tap}, guids[0]},
        {{"Holvenstead Adapter 2", "Holvenstead Adapte"}, {tap, tap}, ""},
    };
    for (const auto& r : rows) {
        RegDeleteTreeA(HKEY_CURRENT_USER, kScratch);
        UniqueKey root;
        ASSERT_EQ(
            RegCreateKeyExA(HKEY_CURRENT_USER, kScratch, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, root.put(), nullptr),
            ERROR_SUCCESS);
        for (int i = 0; i < 2; ++i) {
            SetText(root.get(), net + guids[i] + "\\Connection", "Name", r.name[i]);
            SetText(root.get(), cls + std::to_string(i), "NetCfgInstanceId", guids[1 - i]);
            SetText(root.get(), cls + std::to_string(i), "ProductName", r.product[i]);
        }
        EXPECT_EQ(FindAdapterGuidUnder(root.get()).value_or(""), r.found) << r.name[0] << " " << r.product[1];
    }
    RegDeleteTreeA(HKEY_CURRENT_USER, kScratch);
}

// With no host address in the appliance's subnet the VirtualBox link check
// releases the host adapter's lease and renews it. The adapter is laid out
// in the machine's keys of this Wine prefix and removed again.
TEST(HostAdapter, AFailedLinkCheckReleasesAndRenewsTheLease) {
    class Leases : public AdapterControl {
    public:
        void ReleaseLease(const char* name) override { calls += std::string("release ") + name + ";"; }
        void RenewLease(const char* name) override { calls += std::string("renew ") + name + ";"; }
        std::string calls;
    } leases;
    constexpr char kGuid[] = "{1111AAAA-0000-0000-0000-00000000000B}";
    const std::string net = std::string(
                                "SYSTEM\\CurrentControlSet\\Control\\Network\\"
                                "{4D36E972-E325-11CE-BFC1-08002BE10318}\\") +
                            kGuid,
                      cls =
                          "SYSTEM\\CurrentControlSet\\Control\\Class\\"
                          "{4D36E972-E325-11CE-BFC1-08002BE10318}\\HolvensteadTest";
    SetText(HKEY_LOCAL_MACHINE, net + "\\Connection", "Name", kHostAdapterName);
    SetText(HKEY_LOCAL_MACHINE, cls, "NetCfgInstanceId", kGuid);
    SetText(HKEY_LOCAL_MACHINE, cls, "ProductName", "VirtualBox TAP Adapter");
    {
        CvmxVBox vbox(leases);
        EXPECT_NE(vbox.CheckLink(), 0);  // no appliance address known yet
    }
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, net.c_str());
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, cls.c_str());
    const std::string name = std::string("\\DEVICE\\TCPIP_") + kGuid;
    EXPECT_EQ(leases.calls, "release " + name + ";renew " + name + ";");
}
