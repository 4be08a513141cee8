// The "Holvenstead Adapter" lookup over the two registry classes it reads,
// under a scratch key of the test's own laid out as the machine's are.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "base/Unique.h"
#include "session/HostAdapter.h"

namespace holv {
namespace {

constexpr char kScratch[] = "Software\\HolvensteadTest\\HostAdapter";
constexpr char kNetwork[] = "SYSTEM\\CurrentControlSet\\Control\\Network\\{4D36E972-E325-11CE-BFC1-08002BE10318}\\";
constexpr char kClass[] = "SYSTEM\\CurrentControlSet\\Control\\Class\\{4D36E972-E325-11CE-BFC1-08002BE10318}\\";
constexpr char kFirst[] = "{1111AAAA-0000-0000-0000-000000000001}";
constexpr char kSecond[] = "{22222222-0000-0000-0000-000000000002}";
constexpr char kTap[] = "VirtualBox TAP Adapter";

struct Entry {
    const char* guid;
    const char* text;  // the connection's name, or the device's product
};

struct Case {
    const char* what;
    std::vector<Entry> connections;
    std::vector<Entry> devices;
    const char* expected;  // "" when none is found
};

void SetText(HKEY root, const std::string& path, const char* name, const char* text) {
    UniqueKey key;
    ASSERT_EQ(RegCreateKeyExA(root, path.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, key.put(), nullptr), 0);
    ASSERT_EQ(RegSetValueExA(key.get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text),
                             static_cast<DWORD>(std::strlen(text) + 1)),
              0);
}

TEST(HostAdapter, TheFirstConnectionOfThatExactNameThatIsATapAdapter) {
    const Case cases[] = {
        {"the first of two is no TAP adapter",
         {{kFirst, kHostAdapterName}, {kSecond, kHostAdapterName}},
         {{kFirst, "VirtualBox Host-Only Adapter"}, {kSecond, kTap}},
         kSecond},
        {"both are: the first",
         {{kFirst, kHostAdapterName}, {kSecond, kHostAdapterName}},
         {{kSecond, kTap}, {kFirst, kTap}},
         kFirst},
        {"a longer name", {{kFirst, "Holvenstead Adapter 2"}}, {{kFirst, kTap}}, ""},
        {"a shorter name", {{kFirst, "Holvenstead Adapte"}}, {{kFirst, kTap}}, ""},
        {"the name in other letter case", {{kFirst, "holvenstead adapter"}}, {{kFirst, kTap}}, ""},
        {"the device's GUID in other letter case",
         {{kFirst, kHostAdapterName}},
         {{"{1111aaaa-0000-0000-0000-000000000001}", kTap}},
         ""},
        {"no device entry", {{kFirst, kHostAdapterName}}, {}, ""},
        {"no connection", {}, {{kFirst, kTap}}, ""},
    };
    for (const Case& c : cases) {
        RegDeleteTreeA(HKEY_CURRENT_USER, kScratch);
        UniqueKey root;
        ASSERT_EQ(
            RegCreateKeyExA(HKEY_CURRENT_USER, kScratch, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, root.put(), nullptr),
            0);
        for (const Entry& e : c.connections)
            SetText(root.get(), std::string(kNetwork) + e.guid + "\\Connection", "Name", e.text);
        int n = 0;
        for (const Entry& e : c.devices) {
            std::string device = std::string(kClass) + "000" + std::to_string(n++);
            SetText(root.get(), device, "NetCfgInstanceId", e.guid);
            SetText(root.get(), device, "ProductName", e.text);
        }
        EXPECT_EQ(FindAdapterGuidUnder(root.get()).value_or(""), c.expected) << c.what;
    }
    RegDeleteTreeA(HKEY_CURRENT_USER, kScratch);
}

}  // namespace
}  // namespace holv
