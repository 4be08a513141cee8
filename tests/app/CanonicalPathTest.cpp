// The one form under which the program's instances know a file: full, long,
// in its true letter case, upper-case drive; the file's folder becomes the
// current one.
#include <gtest/gtest.h>
#include <windows.h>

#include <cctype>
#include <string>

#include "app/CanonicalPath.h"
#include "e2e/E2eHarness.h"

using namespace holv;

namespace {

std::string Lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

std::string Canonical(const std::string& path) {
    return CanonicalizePath(AbsoluteLongPath(path));
}

TEST(CanonicalPath, AnySpellingOfAFileGivesItsOneForm) {
    e2e::ScratchDir scratch;
    ASSERT_TRUE(scratch.ok());
    const std::string folder = scratch.MakeDir("Mixed Case Folder");
    const std::string file = scratch.Write("Mixed Case Folder\\Appliance Config.vmx", "");
    ASSERT_FALSE(file.empty());
    char shortForm[MAX_PATH];
    ASSERT_GT(GetShortPathNameA(file.c_str(), shortForm, MAX_PATH), 0u);
    ASSERT_NE(std::string(shortForm), file) << "no 8.3 form was made for the test file";
    char saved[MAX_PATH];
    GetCurrentDirectoryA(MAX_PATH, saved);
    for (const std::string& form : {Lower(file), std::string(shortForm)}) {
        EXPECT_EQ(Canonical(form), file) << form;
        char cwd[MAX_PATH];
        GetCurrentDirectoryA(MAX_PATH, cwd);
        EXPECT_EQ(Lower(cwd), Lower(folder));
    }
    SetCurrentDirectoryA(folder.c_str());
    EXPECT_EQ(Canonical("APPLIANCE CONFIG.VMX"), file) << "relative to the current folder";
    // A missing file keeps its spelling; an over-long path is handled, not overrun.
    EXPECT_EQ(Canonical(Lower(folder) + "\\nothere\\X.vmx"), file.substr(0, file.rfind('\\')) + "\\nothere\\X.vmx");
    const std::string huge = "C:\\" + std::string(5000, 'a') + "\\b.vmx";
    EXPECT_EQ(CanonicalizePath(huge).size(), huge.size());
    SetCurrentDirectoryA(saved);
}

}  // namespace
