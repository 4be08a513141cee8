// Start-up of the real program where it cannot run, and input nobody should
// give it: each problem ends in its one "Error" box (icon, one button) and
// its exit code, never in a crash; "-exit" alone ends at once, without a box.
#include <algorithm>
#include <set>

#include "e2e/E2eFixture.h"

namespace holv::e2e {
namespace {

constexpr const char* kNotFound = "VMX file not found.";
constexpr const char* kNotInstalled = "VMware is not installed on this machine.";
// The system's text for error 11 (ERROR_BAD_FORMAT) under Wine.
constexpr const char* kBadFormat = "Bad format.";

std::string LongLine() {
    return "appliance.hostname = \"" + std::string(10000, 'x') + "\"\n";
}

// Fixed seed: the same 64 KiB every run, every byte value, NULs and
// end-of-file marks included, and no "config.version" in any letter case.
std::string Junk() {
    std::string junk(64 * 1024, '\0');
    unsigned state = 12345;
    for (char& c : junk) c = static_cast<char>((state = state * 1103515245u + 12345u) >> 16);
    return junk;
}

struct Case {
    const char* name;
    const char* verbs;
    const char* file;  // written in the scratch folder; nullptr: none
    std::string content;
    std::set<DWORD> codes;
    std::vector<std::string> texts;  // the box's text, one of these; none: no box
};

class Startup : public ProgramTest {};

TEST_F(Startup, EachProblemEndsInItsBoxAndCode) {
    const std::string overlong = scratch_.path() + "\\" + std::string(5000, 'a') + ".vmx";
    const Case cases[] = {
        {"missing file", "", "Missing Appliance.vmx", "", {ERROR_FILE_NOT_FOUND}, {kNotFound}},
        {"no config.version",
         "",
         "NoVersion.vmx",
         "displayName = \"H\"\nconfig.versions = \"8\"\n",
         {ERROR_BAD_FORMAT},
         {kBadFormat}},
        {"no hypervisor", "", "Appliance.vmx", ValidVmx(), {ERROR_SERVICE_DOES_NOT_EXIST}, {kNotInstalled}},
        {"-exit, nothing running", "-exit ", "Appliance.vmx", ValidVmx(), {0}, {}},
        {"overlong path",
         "",
         nullptr,
         "",
         {ERROR_FILE_NOT_FOUND, ERROR_PATH_NOT_FOUND, ERROR_INVALID_NAME, ERROR_FILENAME_EXCED_RANGE},
         {kNotFound}},
        {"binary junk", "", "Junk.vmx", Junk(), {ERROR_BAD_FORMAT}, {kBadFormat}},
        {"a folder",
         "",
         "Folder.vmx\\",
         "",
         {ERROR_FILE_NOT_FOUND, ERROR_ACCESS_DENIED, ERROR_BAD_FORMAT},
         {kNotFound, kBadFormat}},
        {"a very long line",
         "",
         "LongLine.vmx",
         LongLine() + ValidVmx(),
         {ERROR_SERVICE_DOES_NOT_EXIST},
         {kNotInstalled}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::string path = overlong, file = c.file ? c.file : "";
        if (!file.empty() && file.back() == '\\')
            path = scratch_.MakeDir(file.substr(0, file.size() - 1));
        else if (c.file && c.content.empty())
            path = scratch_.Join(c.file);
        else if (c.file)
            path = WriteVmx(c.file, c.content);
        ChildProcess p;
        ASSERT_NO_FATAL_FAILURE(Start(p, c.verbs + path));
        EndResult end = WaitAnsweringBoxes(p, 2 * kWaitMs);
        ASSERT_TRUE(end.ended) << "the program neither ended nor asked anything";
        EXPECT_FALSE(IsCrashCode(end.exitCode)) << DescribeExit(end.exitCode);
        EXPECT_TRUE(c.codes.count(end.exitCode)) << "unexpected " << DescribeExit(end.exitCode);
        ASSERT_EQ(end.boxes.size(), c.texts.empty() ? 0u : 1u);
        if (c.texts.empty()) continue;
        const BoxSeen& box = end.boxes[0];
        EXPECT_EQ(box.caption, "Error");
        EXPECT_NE(std::find(c.texts.begin(), c.texts.end(), box.text), c.texts.end()) << box.text;
        EXPECT_TRUE(box.icon);
        EXPECT_EQ(box.buttons, 1u);
    }
}

// A program in a drive's root works in that root, not in the drive's
// current folder: started from System32, as the service starts its child,
// "-exit" finds the VM file beside the program and ends with 0, no box.
TEST_F(Startup, AProgramInADriveRootWorksInTheRoot) {
    const std::string exe = "C:\\Holvenstead.exe", vmx = "C:\\Holvenstead.vmx";
    ASSERT_TRUE(CopyFileA(exe_.c_str(), exe.c_str(), FALSE));
    ASSERT_TRUE(CopyFileA(WriteVmx("Holvenstead.vmx").c_str(), vmx.c_str(), FALSE));
    char previous[MAX_PATH];
    GetCurrentDirectoryA(MAX_PATH, previous);
    ASSERT_TRUE(SetCurrentDirectoryA("C:\\windows\\system32"));
    ChildProcess p;
    DWORD started = p.Start(exe, "-exit");
    SetCurrentDirectoryA(previous);
    ASSERT_EQ(started, 0u);
    EndResult end = WaitAnsweringBoxes(p, 2 * kWaitMs);
    DeleteFileA(exe.c_str());
    DeleteFileA(vmx.c_str());
    ASSERT_TRUE(end.ended);
    EXPECT_EQ(end.exitCode, 0u) << DescribeExit(end.exitCode);
    EXPECT_EQ(end.boxes.size(), 0u) << (end.boxes.empty() ? "" : end.boxes[0].text);
}

class StartupWithPlayer : public PlayerTest {};

TEST_F(StartupWithPlayer, VeryLongLineSurvivesTheStartUpRewrite) {
    // The start-up adds its settings to the file; a line longer than the
    // reader's buffer must come out as it went in.
    std::string path = WriteVmx("Long Line\\LongLine.vmx", LongLine() + ValidVmx());
    ChildProcess first;
    ASSERT_NO_FATAL_FAILURE(Start(first, path));
    ASSERT_NE(WaitInstanceWindow(first, path), nullptr);
    ASSERT_NO_FATAL_FAILURE(EndInstance(first, path));
    std::string plain;  // text mode may have written CR LF
    for (char c : ReadFileText(path))
        if (c != '\r') plain += c;
    for (const std::string& line :
         {LongLine(), std::string("config.version = \"8\"\n"), std::string("uuid.action = \"keep\"\n"),
          std::string("ide0:1.present = \"TRUE\"\n"), std::string("ide0:1.fileName = \"store.vmdk\"\n")})
        EXPECT_NE(plain.find(line), std::string::npos) << line.substr(0, 40);
    EXPECT_FALSE(FileExists(path + ".tmp")) << "the rewrite left its temporary file";
}

}  // namespace
}  // namespace holv::e2e
