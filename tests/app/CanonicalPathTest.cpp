#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "app/CanonicalPath.h"

using namespace holv;

namespace {

// A folder tree in the temp folder, removed afterwards.
class ScratchTree : public ::testing::Test {
protected:
    void SetUp() override {
        char temp[MAX_PATH];
        ASSERT_GT(GetTempPathA(MAX_PATH, temp), 0u);
        root_ = AbsoluteLongPath(std::string(temp) + "HolvCanon" + std::to_string(GetCurrentProcessId()));
        CreateDirectoryA(root_.c_str(), nullptr);
        ASSERT_TRUE(CreateDirectoryA((root_ + "\\Mixed Case Folder").c_str(), nullptr));
        file_ = root_ + "\\Mixed Case Folder\\Appliance Config.vmx";
        HANDLE h = CreateFileA(file_.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
        ASSERT_NE(h, INVALID_HANDLE_VALUE);
        CloseHandle(h);
        GetCurrentDirectoryA(MAX_PATH, savedCwd_);
    }
    void TearDown() override {
        SetCurrentDirectoryA(savedCwd_);
        DeleteFileA(file_.c_str());
        RemoveDirectoryA((root_ + "\\Mixed Case Folder").c_str());
        RemoveDirectoryA(root_.c_str());
    }
    static std::string Lower(std::string s) {
        for (char& c : s) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
        return s;
    }
    std::string root_, file_;
    char savedCwd_[MAX_PATH] = {};
};

}  // namespace

TEST_F(ScratchTree, TrueCaseAndUpperDriveAndFolderMadeCurrent) {
    std::string lower = Lower(file_);
    std::string canonical = CanonicalizePath(AbsoluteLongPath(lower));
    EXPECT_EQ(canonical, file_);
    EXPECT_TRUE(canonical[0] >= 'A' && canonical[0] <= 'Z');
    char cwd[MAX_PATH];
    GetCurrentDirectoryA(MAX_PATH, cwd);
    EXPECT_EQ(Lower(cwd), Lower(root_ + "\\Mixed Case Folder"));
}

TEST_F(ScratchTree, ShortFormGivesTheLongName) {
    char shortPath[MAX_PATH];
    DWORD n = GetShortPathNameA(file_.c_str(), shortPath, MAX_PATH);
    ASSERT_GT(n, 0u);
    ASSERT_NE(std::string(shortPath), file_) << "no 8.3 form was made for the test file";
    EXPECT_EQ(CanonicalizePath(AbsoluteLongPath(shortPath)), file_);
}

TEST_F(ScratchTree, RelativePathsAreRelativeToTheCurrentFolder) {
    SetCurrentDirectoryA((root_ + "\\Mixed Case Folder").c_str());
    EXPECT_EQ(CanonicalizePath(AbsoluteLongPath("APPLIANCE CONFIG.VMX")), file_);
}

TEST_F(ScratchTree, MissingFilesKeepTheirSpelling) {
    std::string missing = root_ + "\\Mixed Case Folder\\nothere\\X.vmx";
    std::string result = CanonicalizePath(AbsoluteLongPath(Lower(missing)));
    EXPECT_EQ(result.substr(result.size() - 13), "nothere\\x.vmx");
    // An over-long path is handled, not overrun.
    std::string huge = "C:\\" + std::string(5000, 'a') + "\\b.vmx";
    EXPECT_EQ(CanonicalizePath(huge).size(), huge.size());
}
