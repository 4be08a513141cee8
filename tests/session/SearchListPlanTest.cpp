// The suffix template and the registry changes that follow from it.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "session/SearchListPlan.h"

namespace holv {
namespace {

std::string Expand(const char* tmpl, const char* backup, const char* primary) {
    // Guard bytes after the buffer: the expansion must never reach them.
    struct {
        char list[kSearchListSize];
        char guard[16];
    } out;
    std::memset(&out, 0x5A, sizeof out);
    size_t n = ExpandSuffixTemplate(tmpl, backup, primary, out.list);
    for (char g : out.guard) EXPECT_EQ(g, 0x5A);
    EXPECT_EQ(n, std::strlen(out.list));
    return out.list;
}

TEST(SuffixTemplate, PlaceholdersAndTheirCommas) {
    EXPECT_EQ(Expand("+,corp.example", "a.example,b.example", nullptr), "a.example,b.example,corp.example");
    EXPECT_EQ(Expand("corp.example,+", "a.example,b.example", nullptr), "corp.example,a.example,b.example");
    // An empty or absent placeholder takes the comma before it along, not
    // the one after it.
    EXPECT_EQ(Expand("corp.example,+", "", nullptr), "corp.example");
    EXPECT_EQ(Expand("corp.example,+", nullptr, nullptr), "corp.example");
    EXPECT_EQ(Expand("+,corp.example", "", nullptr), ",corp.example");
    EXPECT_EQ(Expand("&", nullptr, "home.example"), "home.example");
    EXPECT_EQ(Expand("&", nullptr, nullptr), "");
    EXPECT_EQ(Expand("a,&,+,b", "x", ""), "a,x,b");
    // Only the one comma just before goes; other characters are copied as
    // they are, the result is not normalised.
    EXPECT_EQ(Expand("a,,+", nullptr, nullptr), "a,");
    EXPECT_EQ(Expand(" a ;+", nullptr, nullptr), " a ;");
    EXPECT_EQ(Expand("++&&", "b", "p"), "bbpp");
    EXPECT_EQ(Expand("", "b", "p"), "");
    EXPECT_EQ(Expand(nullptr, "b", "p"), "");
}

TEST(SuffixTemplate, LongTextsStopAt1023Characters) {
    std::string longTemplate(5000, 'x');
    EXPECT_EQ(Expand(longTemplate.c_str(), nullptr, nullptr), std::string(1023, 'x'));

    // A placeholder goes in only if the list stays below 1023 characters.
    std::string backup(1000, 'b');
    std::string head(22, 'h');
    EXPECT_EQ(Expand((head + "+").c_str(), backup.c_str(), nullptr), head + backup);  // 1022
    std::string longer(23, 'h');
    EXPECT_EQ(Expand((longer + ",+").c_str(), backup.c_str(), nullptr), longer);  // would be 1024: dropped
    EXPECT_EQ(Expand((longer + "+x").c_str(), backup.c_str(), nullptr), longer + "x");

    // Many placeholders: each expands while it fits, then only characters.
    std::string many(600, '+');
    std::string out = Expand(many.c_str(), "abcdefghij", nullptr);
    EXPECT_EQ(out.size(), 1020u);
    // Texts longer than the buffer never fit at all.
    std::string huge(4000, 'z');
    EXPECT_EQ(Expand("a,+", huge.c_str(), huge.c_str()), "a");
}

SearchListValues Values(ListValue list, ListValue backup, ListValue primary = ListValue::Missing()) {
    return SearchListValues{std::move(list), std::move(backup), std::move(primary)};
}

TEST(SearchListPlan, FirstTemplateBacksTheUsersListUp) {
    auto c = PlanSearchListUpdate(Values(ListValue::Of("a.example,b.example"), ListValue::Missing()), "+,corp.example");
    EXPECT_TRUE(c.writeBackup);
    EXPECT_EQ(c.backupText, "a.example,b.example");
    EXPECT_TRUE(c.writeList);
    EXPECT_EQ(c.listText, "a.example,b.example,corp.example");
    EXPECT_FALSE(c.deleteBackup);
    EXPECT_TRUE(c.renewLease);

    // An empty list is a list: it is backed up too.
    c = PlanSearchListUpdate(Values(ListValue::Of(""), ListValue::Missing()), "corp.example,+");
    EXPECT_TRUE(c.writeBackup);
    EXPECT_EQ(c.backupText, "");
    EXPECT_EQ(c.listText, "corp.example");
}

TEST(SearchListPlan, LaterTemplatesBuildOnTheBackup) {
    auto c = PlanSearchListUpdate(
        Values(ListValue::Of("a.example,b.example,corp.example"), ListValue::Of("a.example,b.example")),
        "corp.example,+");
    EXPECT_FALSE(c.writeBackup);
    EXPECT_EQ(c.listText, "corp.example,a.example,b.example");
    // The same template again writes the same list again.
    c = PlanSearchListUpdate(Values(ListValue::Of(c.listText), ListValue::Of("a.example,b.example")), "corp.example,+");
    EXPECT_TRUE(c.writeList);
    EXPECT_EQ(c.listText, "corp.example,a.example,b.example");
    // The primary suffix.
    c = PlanSearchListUpdate(Values(ListValue::Missing(), ListValue::Missing(), ListValue::Of("home.example")), "&");
    EXPECT_EQ(c.listText, "home.example");
}

TEST(SearchListPlan, WithoutAListNothingIsBackedUpAndTheRestoreLeavesTheList) {
    auto c = PlanSearchListUpdate(Values(ListValue::Missing(), ListValue::Missing()), "corp.example");
    EXPECT_FALSE(c.writeBackup);
    EXPECT_EQ(c.listText, "corp.example");
    auto r = PlanSearchListUpdate(Values(ListValue::Of("corp.example"), ListValue::Missing()), nullptr);
    EXPECT_TRUE(r.Empty());
}

TEST(SearchListPlan, RestorePutsTheBackupBack) {
    auto r = PlanSearchListUpdate(Values(ListValue::Of("x,a"), ListValue::Of("a")), nullptr);
    EXPECT_TRUE(r.writeList);
    EXPECT_EQ(r.listText, "a");
    EXPECT_TRUE(r.deleteBackup);
    EXPECT_TRUE(r.renewLease);
    EXPECT_FALSE(r.writeBackup);
    // An empty backup is the user's empty list.
    r = PlanSearchListUpdate(Values(ListValue::Of("x"), ListValue::Of("")), nullptr);
    EXPECT_TRUE(r.writeList);
    EXPECT_EQ(r.listText, "");
    // No backup: nothing changes, nothing is renewed.
    EXPECT_TRUE(PlanSearchListUpdate(Values(ListValue::Of("a"), ListValue::Missing()), nullptr).Empty());
}

TEST(SearchListPlan, ValuesThatCannotBeReadWholeAreNeverLost) {
    // A list too long (or of another type) to be backed up is not replaced.
    EXPECT_TRUE(PlanSearchListUpdate(Values(ListValue::Unreadable(), ListValue::Missing()), "+,x").Empty());
    // A backup that cannot be read is neither built on, put back nor deleted.
    EXPECT_TRUE(PlanSearchListUpdate(Values(ListValue::Of("a"), ListValue::Unreadable()), "+,x").Empty());
    EXPECT_TRUE(PlanSearchListUpdate(Values(ListValue::Of("a"), ListValue::Unreadable()), nullptr).Empty());
    // An unreadable primary suffix counts as absent.
    auto c = PlanSearchListUpdate(Values(ListValue::Of("a"), ListValue::Of("a"), ListValue::Unreadable()), "x,&");
    EXPECT_EQ(c.listText, "x");
}

}  // namespace
}  // namespace holv
