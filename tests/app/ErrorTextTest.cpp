#include <gtest/gtest.h>

#include "app/ErrorText.h"

using holv::ErrorText;

TEST(ErrorText, SystemTextWithoutTrailingLineBreak) {
    std::string t = ErrorText(2);
    ASSERT_FALSE(t.empty());
    EXPECT_NE(t.back(), '\n');
    EXPECT_NE(t.back(), '\r');
}

TEST(ErrorText, FallbacksWhenTheSystemHasNoText) {
    EXPECT_EQ(ErrorText(static_cast<long>(0x80040203UL)), "IDispatch error #3");
    EXPECT_EQ(ErrorText(static_cast<long>(0x2345ABCDUL)), "Unknown error 0x2345ABCD");
}
