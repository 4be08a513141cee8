#include <gtest/gtest.h>

#include <cstring>

#include "base/Text.h"

using namespace holv;

TEST(Text, CopyCutsAndTerminatesWithinGuards) {
    char buf[8 + 2];
    std::memset(buf, 'G', sizeof buf);
    EXPECT_EQ(CopyText(buf + 1, 8, "0123456789"), 7u);
    EXPECT_STREQ(buf + 1, "0123456");
    EXPECT_EQ(buf[0], 'G');
    EXPECT_EQ(buf[9], 'G');
    EXPECT_EQ(CopyText(buf + 1, 8, nullptr), 0u);
    EXPECT_STREQ(buf + 1, "");
    EXPECT_EQ(CopyText(buf + 1, 0, "x"), 0u);
}

TEST(Text, FormatCutsAndTerminates) {
    char buf[6];
    EXPECT_EQ(FormatText(buf, sizeof buf, "%s-%d", "abc", 12345), 5u);
    EXPECT_STREQ(buf, "abc-1");
    EXPECT_EQ(FormatText(buf, sizeof buf, "%d", 7), 1u);
    EXPECT_STREQ(buf, "7");
}

TEST(Text, CompareNoCaseIsAsciiOnly) {
    EXPECT_EQ(CompareNoCase("START", "start", 5), 0);
    EXPECT_EQ(CompareNoCase("AZ", "az", 2), 0);
    EXPECT_NE(CompareNoCase("stop", "start", 4), 0);
    EXPECT_EQ(CompareNoCase("ab", "AB\0z", 4), 0);
    EXPECT_NE(CompareNoCase("\xc4", "\xe4", 1), 0);
}
