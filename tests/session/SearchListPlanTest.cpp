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

// Each row: template, backup, primary suffix, and the list.
TEST(SuffixTemplate, PlaceholdersAndTheirCommas) {
    const struct {
        const char *tmpl, *backup, *primary, *list;
    } rows[] = {
        {"+,corp.example", "a.example,b.example", nullptr, "a.example,b.example,corp.example"},
        // An empty or absent placeholder takes the comma before it along, not the one after it.
        {"corp.example,+", "", nullptr, "corp.example"},
        {"a,&,+,b", "x", "", "a,x,b"},
        // Only the one comma just before goes; the rest is copied as it is.
        {"a,,+", nullptr, nullptr, "a,"},
        {nullptr, "b", "p", ""},
    };
    for (const auto& r : rows) EXPECT_EQ(Expand(r.tmpl, r.backup, r.primary), r.list) << r.tmpl;
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
    EXPECT_EQ(Expand(many.c_str(), "abcdefghij", nullptr).size(), 1020u);
    // Texts longer than the buffer never fit at all.
    std::string huge(4000, 'z');
    EXPECT_EQ(Expand("a,+", huge.c_str(), huge.c_str()), "a");
}

// A value there that cannot be read whole.
const char kUnreadable[] = "<unreadable>";

ListValue Value(const char* text) {
    if (!text) return ListValue::Missing();
    return text == kUnreadable ? ListValue::Unreadable() : ListValue::Of(text);
}

std::string Describe(const SearchListChange& c) {
    std::string out;
    if (c.writeBackup) out += "backup=" + c.backupText + " ";
    if (c.noteAbsent) out += "absent ";
    if (c.writeList) out += "list=" + c.listText + " ";
    if (c.deleteBackup) out += "delete ";
    if (c.deleteList) out += "delete-list ";
    if (c.forgetNote) out += "forget ";
    if (c.renewLease) out += "renew";
    return out;
}

// Each row: the list, backup and primary suffix there now (null: missing),
// the template (null: restore), the changes planned, and whether the journal
// notes that there was no list.
TEST(SearchListPlan, ChangesForTheValuesThereNow) {
    const struct {
        const char *list, *backup, *primary, *tmpl, *change;
        bool wasAbsent = false;
    } rows[] = {
        // The first template backs the user's list up, even an empty one.
        {"a,b", nullptr, nullptr, "+,corp", "backup=a,b list=a,b,corp renew"},
        {"", nullptr, nullptr, "corp,+", "backup= list=corp renew"},
        // Later ones build on the backup, the same template again writes again.
        {"a,b,corp", "a,b", nullptr, "corp,+", "list=corp,a,b renew"},
        {"corp,a,b", "a,b", nullptr, "corp,+", "list=corp,a,b renew"},
        // No list before: noted, and then the list there is ours, never backed up; the restore deletes it.
        {nullptr, nullptr, "home", "&", "absent list=home renew"},
        {"home", nullptr, nullptr, "x,+", "list=x renew", true},
        {"home", nullptr, nullptr, nullptr, "delete-list forget renew", true},
        {nullptr, nullptr, nullptr, nullptr, "forget ", true},
        // The restore puts the backup back, even an empty one; without a backup, nothing changes.
        {"x,a", "a", nullptr, nullptr, "list=a delete forget renew"},
        {"x", "", nullptr, nullptr, "list= delete forget renew"},
        {"corp", nullptr, nullptr, nullptr, ""},
        // A list or backup that cannot be read whole is neither replaced, built on, put back nor deleted.
        {kUnreadable, nullptr, nullptr, "+,x", ""},
        {"a", kUnreadable, nullptr, "+,x", ""},
        {"a", kUnreadable, nullptr, nullptr, ""},
        {"a", "a", kUnreadable, "x,&", "list=x renew"},  // an unreadable primary suffix counts as absent
    };
    for (const auto& r : rows) {
        SearchListValues now{Value(r.list), Value(r.backup), Value(r.primary), r.wasAbsent};
        EXPECT_EQ(Describe(PlanSearchListUpdate(now, r.tmpl)), r.change) << r.list << " | " << r.tmpl;
    }
}

}  // namespace
}  // namespace holv
