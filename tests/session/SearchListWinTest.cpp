// The DNS search list in the Wine registry: values the user or others left
// there that the program must not lose (the action, Stop and the next start
// run end to end in tests/e2e/journal; when the lease is renewed is the
// plan's). Changes the TCP/IP parameters: runs only in a throwaway prefix
// (holv_e2e_test).
#include <gtest/gtest.h>

#include <string>

#include "e2e/E2eHarness.h"
#include "session/SearchList.h"

namespace holv {
namespace {

class NoLease : public AdapterControl {
public:
    void ReleaseLease(const char*) override {}
    void RenewLease(const char*) override {}
};

// A value of the TCP/IP parameters: its text, "<none>" when missing.
std::string Get(const char* name) {
    char text[4096];
    DWORD size = sizeof text, type = 0;
    if (RegGetValueA(HKEY_LOCAL_MACHINE, kTcpipParametersKey, name, RRF_RT_ANY, &type, text, &size)) return "<none>";
    return type == REG_SZ ? std::string(text, strnlen(text, size)) : "<type " + std::to_string(type) + ">";
}

// The search list as stored: bytes and type.
LONG Set(const std::string& data, DWORD type = REG_SZ) {
    return RegSetKeyValueA(HKEY_LOCAL_MACHINE, kTcpipParametersKey, "SearchList", type, data.data(),
                           static_cast<DWORD>(data.size()));
}

TEST(SearchList, BadValuesAndTemplatesLeaveTheUsersListRecoverable) {
    ASSERT_TRUE(e2e::InThrowawayPrefix()) << "changes the TCP/IP parameters: run through scripts/wine-fresh.sh";
    for (const char* v : {"SearchList", "SearchListBackupSC", "NV Domain"})
        RegDeleteKeyValueA(HKEY_LOCAL_MACHINE, kTcpipParametersKey, v);
    NoLease lease;
    // A list too long to be backed up whole is not replaced, nor one of
    // another type.
    std::string huge(3000, 'h');
    ASSERT_EQ(Set(huge + '\0'), 0);
    UpdateSearchList("+,x", lease);
    EXPECT_EQ(Get("SearchList"), huge);
    EXPECT_EQ(Get("SearchListBackupSC"), "<none>");
    ASSERT_EQ(Set(std::string("a\0b\0\0", 5), REG_MULTI_SZ), 0);
    UpdateSearchList("x", lease);
    EXPECT_EQ(Get("SearchList"), "<type 7>");

    // A value stored without its NUL is read as text all the same.
    ASSERT_EQ(Set("u.example"), 0);
    UpdateSearchList("x,+", lease);
    EXPECT_EQ(Get("SearchListBackupSC"), "u.example");
    EXPECT_EQ(Get("SearchList"), "x,u.example");
    UpdateSearchList(nullptr, lease);
    EXPECT_EQ(Get("SearchList"), "u.example");
    EXPECT_EQ(Get("SearchListBackupSC"), "<none>");
}

}  // namespace
}  // namespace holv
