// Input nobody should give the program: it may refuse it, with a box and an
// exit code, but it never crashes and never damages the file.
#include <set>

#include "e2e/E2eFixture.h"

namespace holv::e2e {
namespace {

class BadInput : public ProgramTest {
protected:
    // Runs the program to its end, answering whatever box it shows, and
    // checks that it ended by itself, without a crash, with one of the codes
    // that the input can explain.
    EndResult RunExpectingOneOf(const std::string& args, const std::set<DWORD>& codes) {
        ChildProcess p;
        Start(p, args);
        if (HasFatalFailure()) return {};
        EndResult end = WaitAnsweringBoxes(p, kEndWaitMs + kBoxWaitMs);
        EXPECT_TRUE(end.ended) << "the program neither ended nor asked anything";
        if (!end.ended) return end;
        EXPECT_FALSE(IsCrashCode(end.exitCode)) << "the program crashed: " << DescribeExit(end.exitCode);
        EXPECT_TRUE(codes.count(end.exitCode)) << "unexpected " << DescribeExit(end.exitCode);
        for (const BoxSeen& b : end.boxes) EXPECT_EQ(b.caption, "Error") << "box text: " << b.text;
        return end;
    }
};

TEST_F(BadInput, OverlongPathOnTheCommandLineIsNotFound) {
    std::string path = scratch_.path() + "\\" + std::string(5000, 'a') + ".vmx";
    EndResult end = RunExpectingOneOf(
        path, {ERROR_FILE_NOT_FOUND, ERROR_PATH_NOT_FOUND, ERROR_INVALID_NAME, ERROR_FILENAME_EXCED_RANGE});
    ASSERT_EQ(end.boxes.size(), 1u);
    EXPECT_EQ(end.boxes[0].text, "VMX file not found.");
}

TEST_F(BadInput, BinaryJunkIsNotAConfiguration) {
    // Fixed seed: the same junk every run, every byte value, NULs and
    // end-of-file marks included.
    std::string junk(64 * 1024, '\0');
    unsigned state = 12345;
    for (char& c : junk) {
        state = state * 1103515245u + 12345u;
        c = static_cast<char>(state >> 16);
    }
    // Keys match without letter case: the junk must not hold one by chance.
    std::string lower = junk;
    for (char& c : lower)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    ASSERT_EQ(lower.find("config.version"), std::string::npos);
    std::string path = WriteVmx("Junk.vmx", junk);

    EndResult end = RunExpectingOneOf(path, {ERROR_BAD_FORMAT});
    ASSERT_EQ(end.boxes.size(), 1u);
    EXPECT_EQ(end.boxes[0].text, SystemErrorText(ERROR_BAD_FORMAT));
}

TEST_F(BadInput, DirectoryInsteadOfAFileIsRefused) {
    std::string dir = scratch_.MakeDir("Folder.vmx");
    ASSERT_FALSE(dir.empty());
    // Refused as unreadable ("VMX file not found.") or as a file without
    // "config.version": both are honest answers.
    EndResult end = RunExpectingOneOf(dir, {ERROR_FILE_NOT_FOUND, ERROR_ACCESS_DENIED, ERROR_BAD_FORMAT});
    ASSERT_EQ(end.boxes.size(), 1u);
    if (end.exitCode == ERROR_BAD_FORMAT)
        EXPECT_EQ(end.boxes[0].text, SystemErrorText(ERROR_BAD_FORMAT));
    else
        EXPECT_EQ(end.boxes[0].text, "VMX file not found.");
    EXPECT_TRUE(DirectoryExists(dir));
}

std::string LongLine() { return "appliance.hostname = \"" + std::string(10000, 'x') + "\"\n"; }

TEST_F(BadInput, VeryLongLineIsReadWithoutHarm) {
    std::string path = WriteVmx("LongLine.vmx", LongLine() + ValidVmx());
    EndResult end = RunExpectingOneOf(path, {ERROR_SERVICE_DOES_NOT_EXIST});
    ASSERT_EQ(end.boxes.size(), 1u);
    EXPECT_EQ(end.boxes[0].text, "VMware is not installed on this machine.");
}

class BadInputWithPlayer : public PlayerTest {};

TEST_F(BadInputWithPlayer, VeryLongLineSurvivesTheStartUpRewrite) {
    // The start-up adds its settings to the file; a line longer than the
    // reader's buffer must come out as it went in.
    std::string content = LongLine() + ValidVmx();
    std::string path = WriteVmx("Long Line\\LongLine.vmx", content);
    ChildProcess first;
    ASSERT_NO_FATAL_FAILURE(Start(first, path));
    ASSERT_NE(WaitInstanceWindow(first, CanonicalPathOf(path)), nullptr);
    ASSERT_NO_FATAL_FAILURE(EndInstance(first, path));

    std::string after = ReadFileText(path);
    // Text mode may have written line ends as CR LF.
    std::string plain;
    for (char c : after)
        if (c != '\r') plain += c;
    EXPECT_NE(plain.find(LongLine()), std::string::npos) << "the long line was changed";
    EXPECT_NE(plain.find("config.version = \"8\"\n"), std::string::npos);
    EXPECT_NE(plain.find("uuid.action = \"keep\"\n"), std::string::npos);
    EXPECT_NE(plain.find("ide0:1.present = \"TRUE\"\n"), std::string::npos);
    EXPECT_NE(plain.find("ide0:1.fileName = \"store.vmdk\"\n"), std::string::npos);
    EXPECT_FALSE(FileExists(path + ".tmp")) << "the rewrite left its temporary file";
}

}  // namespace
}  // namespace holv::e2e
