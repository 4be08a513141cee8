// The debug log: silent without a stream; each line begins with the local
// time as "HH:MM:SS.mmm ", and every call reaches the file at once.
#include <gtest/gtest.h>

#include <cstdio>
#include <regex>
#include <string>

#include "imc/ImcLog.h"

namespace holv {
namespace {

std::string Contents(FILE* file) {  // read back without closing
    std::string text;
    std::rewind(file);
    char chunk[256];
    for (size_t n; (n = std::fread(chunk, 1, sizeof chunk, file)) > 0;) text.append(chunk, n);
    std::fseek(file, 0, SEEK_END);
    return text;
}

const std::string kStamp = "[0-2][0-9]:[0-5][0-9]:[0-6][0-9]\\.[0-9]{3} ";

TEST(ImcLogWriter, StampAtLineStartsOnlyAndANewStreamStartsANewLine) {
    ImcSetLogStream(nullptr);
    EXPECT_EQ(ImcLog("Connecting to %s\n", "10.0.0.1"), 0);
    FILE* first = std::tmpfile();
    FILE* second = std::tmpfile();
    ASSERT_TRUE(first && second);
    ImcSetLogStream(first);
    EXPECT_EQ(ImcLog("Sending on socket [%d] to %s: ", 5, "255.255.255.255"), 42);
    EXPECT_EQ(ImcLog("%d\n", 14), 3);
    EXPECT_EQ(ImcLog("no newline here"), 15);
    ImcSetLogStream(second);
    ImcLog("Opening fallback socket [%d]\n", 3);
    ImcSetLogStream(nullptr);
    std::string one = Contents(first), two = Contents(second);
    EXPECT_TRUE(std::regex_match(one, std::regex(kStamp + "Sending on socket \\[5\\] to 255\\.255\\.255\\.255: 14\n" +
                                                 kStamp + "no newline here")))
        << one;
    EXPECT_TRUE(std::regex_match(two, std::regex(kStamp + "Opening fallback socket \\[3\\]\n"))) << two;
    std::fclose(first);
    std::fclose(second);
}

}  // namespace
}  // namespace holv
