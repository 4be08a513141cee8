#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <optional>
#include <string>

#include "host/HostScratch.h"
#include "host/ProcessLaunch.h"

using namespace holv;
using namespace holv::test;

namespace {

class ProcessLaunchTest : public ::testing::Test {
protected:
    CurrentScratchFolder folder;
    const std::string child = ChildProbePath();
};

void WriteFile(const char* name, const std::string& bytes) {
    std::FILE* f = std::fopen(name, "wb");
    ASSERT_NE(f, nullptr);
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
}

bool RunsAboveMediumIntegrity() {
    UniqueHandle token;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, token.put())) return false;
    BYTE buffer[256];
    DWORD size = 0;
    if (!::GetTokenInformation(token.get(), TokenIntegrityLevel, buffer, sizeof buffer, &size)) return false;
    PSID sid = reinterpret_cast<TOKEN_MANDATORY_LABEL*>(buffer)->Label.Sid;
    return *::GetSidSubAuthority(sid, *::GetSidSubAuthorityCount(sid) - 1) > SECURITY_MANDATORY_MEDIUM_RID;
}

}  // namespace

TEST_F(ProcessLaunchTest, WaitGivesExitCodeAndNoWaitGivesZero) {
    EXPECT_EQ(RunCommand(kWaitForever, CREATE_NO_WINDOW, "cmd /c exit %d", 7), 7);
    EXPECT_EQ(RunCommand(10000, CREATE_NO_WINDOW, "cmd /c exit %d", 12), 12);
    EXPECT_EQ(RunCommand(kNoWait, CREATE_NO_WINDOW, "cmd /c exit 7"), 0);
}

TEST_F(ProcessLaunchTest, StartFailureGivesWindowsError) {
    EXPECT_EQ(RunCommand(kWaitForever, 0, "holv-no-such-program-%d.exe", 4711), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RunCommand(kNoWait, 0, "holv-no-such-program.exe"), ERROR_FILE_NOT_FOUND);
}

TEST_F(ProcessLaunchTest, EnvironmentReferencesAreExpanded) {
    // The program's own path: only our expansion can make this start.
    EXPECT_EQ(RunCommand(kWaitForever, CREATE_NO_WINDOW, "%%SystemRoot%%\\system32\\cmd.exe /c exit 5"), 5);
    // The child sees the expanded text: its length proves it.
    ASSERT_TRUE(::SetEnvironmentVariableA("HOLV_TWENTY", "12345678901234567890"));
    const std::string prefix = "\"" + child + "\" len ";
    EXPECT_EQ(RunCommand(kWaitForever, CREATE_NO_WINDOW, "%s%%HOLV_TWENTY%%", prefix.c_str()),
              static_cast<int>(prefix.size() + 20));
    // Undefined references stay as written.
    EXPECT_EQ(RunCommand(kWaitForever, CREATE_NO_WINDOW, "%s%%HOLV_UNDEFINED_X%%", prefix.c_str()),
              static_cast<int>(prefix.size() + 18));
    ::SetEnvironmentVariableA("HOLV_TWENTY", nullptr);
}

TEST_F(ProcessLaunchTest, LongCommandsAreCutNotRejected) {
    const std::string prefix = "\"" + child + "\" len ";
    EXPECT_EQ(RunCommand(kWaitForever, CREATE_NO_WINDOW, "%s%s", prefix.c_str(), std::string(1500, 'x').c_str()), 1023);
    // An expansion that outgrows the line is cut the same way.
    ASSERT_TRUE(::SetEnvironmentVariableA("HOLV_LONG", std::string(2000, 'y').c_str()));
    EXPECT_EQ(RunCommand(kWaitForever, CREATE_NO_WINDOW, "%s%%HOLV_LONG%%", prefix.c_str()), 1023);
    ::SetEnvironmentVariableA("HOLV_LONG", nullptr);
}

TEST_F(ProcessLaunchTest, CapturedOutputFoldsLineEndsAndLeavesNoFile) {
    WriteFile("lines.txt", "alpha\r\nbeta\r\n");
    std::optional<std::string> out;
    EXPECT_EQ(RunCommandCaptured(&out, "type %s", "lines.txt"), 0);
    ASSERT_TRUE(out.has_value());
    EXPECT_EQ(*out, "alpha\nbeta\n");
    EXPECT_EQ(folder.Names(), std::vector<std::string>{"lines.txt"});
    // The caller may not want the text.
    EXPECT_EQ(RunCommandCaptured(nullptr, "type lines.txt"), 0);
    EXPECT_EQ(folder.Names(), std::vector<std::string>{"lines.txt"});
}

TEST_F(ProcessLaunchTest, CapturedSilenceGivesExitCodeAndNoText) {
    std::optional<std::string> out = std::string("left over");
    // In parentheses: Wine's cmd loses the code of a redirected bare "exit".
    EXPECT_EQ(RunCommandCaptured(&out, "(exit %d)", 4), 4);
    EXPECT_EQ(out, std::nullopt);
    EXPECT_TRUE(folder.Names().empty());
    // A command that cannot run still leaves nothing behind.
    EXPECT_NE(RunCommandCaptured(&out, "holv-no-such-program.exe"), 0);
    EXPECT_EQ(out, std::nullopt);
    EXPECT_TRUE(folder.Names().empty());
}

TEST_F(ProcessLaunchTest, CapturedCommandsExpandReferences) {
    WriteFile("lines.txt", "gamma\r\n");
    std::optional<std::string> out;
    EXPECT_EQ(RunCommandCaptured(&out, "%%SystemRoot%%\\system32\\cmd.exe /c type lines.txt"), 0);
    EXPECT_EQ(out, std::optional<std::string>("gamma\n"));
}

TEST_F(ProcessLaunchTest, DesktopUserStartFallsBackWithoutElevation) {
    UniqueHandle token = GetDesktopUserToken();
    const bool elevated = RunsAboveMediumIntegrity();
    if (!elevated) {
        // Not elevated: no desktop token, so the program's own start is used.
        EXPECT_FALSE(token);
    } else {
        // Elevated: the token is there exactly when the desktop shell is.
        EXPECT_EQ(static_cast<bool>(token), ::FindWindowA("PROGMAN", nullptr) != nullptr);
    }
    std::printf("[ info ] elevated %d, desktop token %d\n", elevated, static_cast<bool>(token));
    EXPECT_EQ(RunCommandAsDesktopUser(kWaitForever, CREATE_NO_WINDOW | DETACHED_PROCESS, "cmd /c exit %d", 7), 7);
    EXPECT_EQ(RunCommandAsDesktopUser(kNoWait, CREATE_NO_WINDOW, "cmd /c exit 7"), 0);
    EXPECT_EQ(RunCommandAsDesktopUser(kWaitForever, 0, "holv-no-such-program.exe"), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RunCommandAsDesktopUser(kWaitForever, CREATE_NO_WINDOW, "%%SystemRoot%%\\system32\\cmd.exe /c exit 6"),
              6);
    const std::string prefix = "\"" + child + "\" len ";
    EXPECT_EQ(
        RunCommandAsDesktopUser(kWaitForever, CREATE_NO_WINDOW, "%s%s", prefix.c_str(), std::string(1500, 'x').c_str()),
        1023);
}

namespace {

// A window of the desktop shell's class, for a system (like Wine's virtual
// desktop-less one) that has none: the token then comes from this process.
class StandInShellWindow {
public:
    StandInShellWindow() {
        WNDCLASSA wc{};
        wc.lpfnWndProc = ::DefWindowProcA;
        wc.hInstance = ::GetModuleHandleA(nullptr);
        wc.lpszClassName = "PROGMAN";
        registered_ = ::RegisterClassA(&wc) != 0;
        window_.reset(::CreateWindowExA(0, "PROGMAN", "Program Manager", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                        wc.hInstance, nullptr));
    }
    ~StandInShellWindow() {
        window_.reset();
        if (registered_) ::UnregisterClassA("PROGMAN", ::GetModuleHandleA(nullptr));
    }
    bool Ok() const { return static_cast<bool>(window_); }

private:
    bool registered_ = false;
    UniqueWindow window_;
};

}  // namespace

TEST_F(ProcessLaunchTest, DesktopUserStartWithShellToken) {
    // A message-only window is not found by FindWindow, so a top-level one is
    // made when no shell window exists.
    std::optional<StandInShellWindow> standIn;
    if (!::FindWindowA("PROGMAN", nullptr)) standIn.emplace();
    UniqueWindow topLevel;
    if (!::FindWindowA("PROGMAN", nullptr)) {
        topLevel.reset(::CreateWindowExA(0, "PROGMAN", "Program Manager", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                                         ::GetModuleHandleA(nullptr), nullptr));
    }
    ASSERT_NE(::FindWindowA("PROGMAN", nullptr), nullptr);
    UniqueHandle token = GetDesktopUserToken();
    if (!RunsAboveMediumIntegrity()) {
        EXPECT_FALSE(token);
    } else {
        ASSERT_TRUE(token);
        TOKEN_TYPE type{};
        DWORD size = 0;
        ASSERT_TRUE(::GetTokenInformation(token.get(), TokenType, &type, sizeof type, &size));
        EXPECT_EQ(type, TokenPrimary);
    }
    // Through the token (where there is one): exit code, expansion, the cut
    // and the program's current folder all hold as on the plain path.
    EXPECT_EQ(RunCommandAsDesktopUser(kWaitForever, CREATE_NO_WINDOW | DETACHED_PROCESS, "cmd /c exit %d", 7), 7);
    EXPECT_EQ(RunCommandAsDesktopUser(kNoWait, CREATE_NO_WINDOW, "cmd /c exit 7"), 0);
    EXPECT_EQ(RunCommandAsDesktopUser(kWaitForever, CREATE_NO_WINDOW, "%%SystemRoot%%\\system32\\cmd.exe /c exit 6"),
              6);
    const std::string prefix = "\"" + child + "\" len ";
    EXPECT_EQ(
        RunCommandAsDesktopUser(kWaitForever, CREATE_NO_WINDOW, "%s%s", prefix.c_str(), std::string(1500, 'x').c_str()),
        1023);
    char cwd[MAX_PATH];
    DWORD cwdLength = ::GetCurrentDirectoryA(MAX_PATH, cwd);
    EXPECT_EQ(RunCommandAsDesktopUser(kWaitForever, CREATE_NO_WINDOW, "\"%s\" cwdlen", child.c_str()),
              static_cast<int>(cwdLength));
    EXPECT_EQ(RunCommandAsDesktopUser(kWaitForever, 0, "holv-no-such-program.exe"), ERROR_FILE_NOT_FOUND);
}
