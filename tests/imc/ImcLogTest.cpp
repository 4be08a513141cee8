// The debug log: silent without a stream; each line begins with the local
// time as "HH:MM:SS.mmm ".
#include <gtest/gtest.h>

#include <cstdio>
#include <regex>
#include <string>

#include "imc/ImcLog.h"

namespace holv {
namespace {

// A temporary stream set as the log for one test and cleared after it.
class LogCapture {
public:
    LogCapture() : file_(std::tmpfile()) { ImcSetLogStream(file_); }
    ~LogCapture() {
        ImcSetLogStream(nullptr);
        if (file_) std::fclose(file_);
    }
    bool ok() const { return file_ != nullptr; }
    std::string Text() {
        std::string text;
        std::rewind(file_);
        char chunk[256];
        size_t n;
        while ((n = std::fread(chunk, 1, sizeof chunk, file_)) > 0) text.append(chunk, n);
        std::fseek(file_, 0, SEEK_END);
        return text;
    }

private:
    FILE* file_;
};

const std::string kStamp = "[0-2][0-9]:[0-5][0-9]:[0-6][0-9]\\.[0-9]{3} ";

TEST(ImcLogWriter, SilentWithoutAStream) {
    ImcSetLogStream(nullptr);
    EXPECT_EQ(ImcLog("Connecting to %s\n", "10.0.0.1"), 0);
}

TEST(ImcLogWriter, StampOnlyAtLineStarts) {
    LogCapture log;
    ASSERT_TRUE(log.ok());
    EXPECT_EQ(ImcLog("Sending on socket [%d] to %s: ", 5, "255.255.255.255"), 42);
    EXPECT_EQ(ImcLog("%d\n", 14), 3);
    EXPECT_EQ(ImcLog("Trying to work around winsock bug!\n"), 35);
    std::string text = log.Text();
    EXPECT_TRUE(std::regex_match(text, std::regex(kStamp + "Sending on socket \\[5\\] to 255\\.255\\.255\\.255: 14\n" +
                                                  kStamp + "Trying to work around winsock bug!\n")))
        << text;
}

TEST(ImcLogWriter, EachCallIsFlushed) {
    LogCapture log;
    ASSERT_TRUE(log.ok());
    ImcLog("Connecting to %s\n", "10.88.0.2");
    // Read back without closing: the text is there already.
    EXPECT_TRUE(std::regex_match(log.Text(), std::regex(kStamp + "Connecting to 10\\.88\\.0\\.2\n"))) << log.Text();
}

TEST(ImcLogWriter, NewStreamStartsANewLine) {
    {
        LogCapture first;
        ASSERT_TRUE(first.ok());
        ImcLog("no newline here");
    }
    LogCapture second;
    ASSERT_TRUE(second.ok());
    ImcLog("Opening fallback socket [%d]\n", 3);
    EXPECT_TRUE(std::regex_match(second.Text(), std::regex(kStamp + "Opening fallback socket \\[3\\]\n")))
        << second.Text();
}

}  // namespace
}  // namespace holv
