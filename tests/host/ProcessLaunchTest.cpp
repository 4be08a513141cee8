#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "e2e/E2eHarness.h"
#include "host/ProcessLaunch.h"

using namespace holv;

namespace {

// The child probe beside the test program: "len" ends with the length of its
// command line, "cwdlen" with that of its current folder.
const std::string kChild = "\"" + e2e::ProgramPath("holv_test_child.exe") + "\" ";

bool RunsAboveMediumIntegrity() {
    UniqueHandle token;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, token.put())) return false;
    BYTE buffer[256];
    DWORD size = 0;
    if (!::GetTokenInformation(token.get(), TokenIntegrityLevel, buffer, sizeof buffer, &size)) return false;
    PSID sid = reinterpret_cast<TOKEN_MANDATORY_LABEL*>(buffer)->Label.Sid;
    return *::GetSidSubAuthority(sid, *::GetSidSubAuthorityCount(sid) - 1) > SECURITY_MANDATORY_MEDIUM_RID;
}

// The names of the files in the current folder.
std::vector<std::string> FilesHere() {
    std::vector<std::string> names;
    WIN32_FIND_DATAA data;
    HANDLE find = ::FindFirstFileA("*", &data);
    if (find == INVALID_HANDLE_VALUE) return names;
    do {
        if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) names.push_back(data.cFileName);
    } while (::FindNextFileA(find, &data));
    ::FindClose(find);
    return names;
}

// Runs in a scratch folder made current (the captured output's temporary
// file goes there).
class ProcessLaunchTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(scratch_.ok());
        char previous[MAX_PATH];
        ::GetCurrentDirectoryA(MAX_PATH, previous);
        previous_ = previous;
        ASSERT_TRUE(::SetCurrentDirectoryA(scratch_.path().c_str()));
        ::SetEnvironmentVariableA("HOLV_TWENTY", "12345678901234567890");
        ::SetEnvironmentVariableA("HOLV_LONG", std::string(2000, 'y').c_str());
    }
    void TearDown() override {
        ::SetCurrentDirectoryA(previous_.c_str());
        ::SetEnvironmentVariableA("HOLV_TWENTY", nullptr);
        ::SetEnvironmentVariableA("HOLV_LONG", nullptr);
    }
    // The same launches on the plain path and through the desktop user's
    // token (which falls back to the plain path where there is none): exit
    // codes, start failures, expanded references, and the 1023-character cut.
    // The current folder (a VM's, which a standard user may fill) holds a
    // cmd.exe of its own and is named on PATH, twice: neither it nor what is
    // only there is ever started.
    static void ExpectLaunches(int (*run)(int, DWORD, const char*, ...)) {
        const std::string child = e2e::ProgramPath("holv_test_child.exe");
        ASSERT_TRUE(::CopyFileA(child.c_str(), "cmd.exe", FALSE) && ::CopyFileA(child.c_str(), "holvchild.exe", FALSE));
        char here[MAX_PATH];
        ::GetCurrentDirectoryA(MAX_PATH, here);
        std::vector<char> path(32768);
        ::GetEnvironmentVariableA("PATH", path.data(), static_cast<DWORD>(path.size()));
        const std::string old = path.data();
        ::SetEnvironmentVariableA("PATH", (".;" + std::string(here) + "\\;" + old).c_str());
        ScopeGuard restorePath([&old] { ::SetEnvironmentVariableA("PATH", old.c_str()); });
        const std::string len = kChild + "len ";
        const struct {
            int wait;
            DWORD flags;
            std::string command;
            int expected;
        } rows[] = {
            {kWaitForever, CREATE_NO_WINDOW | DETACHED_PROCESS, "cmd /c exit 7", 7},
            {kNoWait, CREATE_NO_WINDOW, "cmd /c exit 7", 0},
            {kWaitForever, 0, "holv-no-such-program.exe", ERROR_FILE_NOT_FOUND},
            {kNoWait, 0, "holv-no-such-program.exe", ERROR_FILE_NOT_FOUND},
            {kWaitForever, CREATE_NO_WINDOW, "holvchild len", ERROR_FILE_NOT_FOUND},
            {kWaitForever, CREATE_NO_WINDOW, ".\\holvchild.exe len", ERROR_FILE_NOT_FOUND},
            // Only our expansion can make this one start at all.
            {kWaitForever, CREATE_NO_WINDOW, "%SystemRoot%\\system32\\cmd.exe /c exit 5", 5},
            {kWaitForever, CREATE_NO_WINDOW, len + "%HOLV_TWENTY%", static_cast<int>(len.size() + 20)},
            {kWaitForever, CREATE_NO_WINDOW, len + "%HOLV_UNDEFINED_X%", static_cast<int>(len.size() + 18)},
            {kWaitForever, CREATE_NO_WINDOW, len + std::string(1500, 'x'), 1023},
            {kWaitForever, CREATE_NO_WINDOW, len + "%HOLV_LONG%", 1023},
        };
        for (const auto& r : rows) EXPECT_EQ(run(r.wait, r.flags, "%s", r.command.c_str()), r.expected) << r.command;
    }

    e2e::ScratchDir scratch_;
    std::string previous_;
};

// A window of the desktop shell's class where the system has none (Wine
// without a desktop): the token then comes from this process.
class StandInShellWindow {
public:
    StandInShellWindow() {
        WNDCLASSA wc{};
        wc.lpfnWndProc = ::DefWindowProcA;
        wc.hInstance = ::GetModuleHandleA(nullptr);
        wc.lpszClassName = "PROGMAN";
        registered_ = ::RegisterClassA(&wc) != 0;
        window_.reset(::CreateWindowExA(0, "PROGMAN", "Program Manager", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                                        wc.hInstance, nullptr));
    }
    ~StandInShellWindow() {
        window_.reset();
        if (registered_) ::UnregisterClassA("PROGMAN", ::GetModuleHandleA(nullptr));
    }

private:
    bool registered_ = false;
    UniqueWindow window_;
};

}  // namespace

TEST_F(ProcessLaunchTest, PlainLaunches) {
    ExpectLaunches(&RunCommand);
}

// A command past its bound is ended with what it started: cmd and the child
// it runs, which would otherwise wait a minute for an event never set.
TEST_F(ProcessLaunchTest, BoundedWaitEndsTheCommandAndWhatItStarted) {
    const std::string event = "holv-never-" + std::to_string(::GetCurrentProcessId());
    UniqueHandle never(::CreateEventA(nullptr, TRUE, FALSE, event.c_str()));
    EXPECT_EQ(RunCommandBounded(60000, CREATE_NO_WINDOW, "cmd /c exit 7"), 7);
    EXPECT_EQ(RunCommandBounded(10000, CREATE_NO_WINDOW, "cmd /c %s hold held.pid %s",
                                e2e::ProgramPath("holv_test_child.exe").c_str(), event.c_str()),
              ERROR_TIMEOUT);
    unsigned long pid = 0, tid = 0;
    if (std::sscanf(e2e::ReadFileText("held.pid").c_str(), "%lu %lu", &pid, &tid) == 2) {
        UniqueHandle child(::OpenProcess(SYNCHRONIZE, FALSE, pid));
        EXPECT_TRUE(!child || ::WaitForSingleObject(child.get(), 5000) == WAIT_OBJECT_0) << "the child still runs";
    }
}

TEST_F(ProcessLaunchTest, DesktopUserLaunchesWithAndWithoutAShell) {
    const bool elevated = RunsAboveMediumIntegrity();
    std::optional<StandInShellWindow> standIn;
    for (bool shell : {::FindWindowA("PROGMAN", nullptr) != nullptr, true}) {
        SCOPED_TRACE(shell ? "with a shell window" : "without");
        if (shell && !::FindWindowA("PROGMAN", nullptr)) standIn.emplace();
        ASSERT_EQ(::FindWindowA("PROGMAN", nullptr) != nullptr, shell);
        UniqueHandle token = GetDesktopUserToken();
        // Not elevated: no token, the program's own start is used.
        EXPECT_EQ(static_cast<bool>(token), elevated && shell);
        if (token) {
            TOKEN_TYPE type{};
            DWORD size = 0;
            ASSERT_TRUE(::GetTokenInformation(token.get(), TokenType, &type, sizeof type, &size));
            EXPECT_EQ(type, TokenPrimary);
        }
        ExpectLaunches(&RunCommandAsDesktopUser);
        // The program's current folder holds on either path.
        char cwd[MAX_PATH];
        int cwdLength = static_cast<int>(::GetCurrentDirectoryA(MAX_PATH, cwd));
        EXPECT_EQ(RunCommandAsDesktopUser(kWaitForever, CREATE_NO_WINDOW, "%scwdlen", kChild.c_str()), cwdLength);
    }
}

TEST_F(ProcessLaunchTest, CapturedOutputFoldsLineEndsAndLeavesNoFile) {
    ASSERT_FALSE(scratch_.Write("lines.txt", "alpha\r\nbeta\r\n").empty());
    const struct {
        const char* command;
        bool wantText;
        int code;
        std::optional<std::string> text;
    } rows[] = {
        {"type lines.txt", true, 0, "alpha\nbeta\n"},
        {"type lines.txt", false, 0, std::nullopt},  // the caller may not want the text
        // In parentheses: Wine's cmd loses the code of a redirected bare "exit".
        {"(exit 4)", true, 4, std::nullopt},  // silence is no text
        {"holv-no-such-program.exe", true, -1, std::nullopt},
    };
    for (const auto& r : rows) {
        std::optional<std::string> out = std::string("left over");
        int code = RunCommandCaptured(r.wantText ? &out : nullptr, "%s", r.command);
        EXPECT_TRUE(r.code >= 0 ? code == r.code : code != 0) << r.command << ": " << code;
        EXPECT_EQ(out, r.wantText ? r.text : std::optional<std::string>("left over")) << r.command;
        EXPECT_EQ(FilesHere(), std::vector<std::string>{"lines.txt"}) << r.command;
    }
}
