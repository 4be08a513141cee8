// One instance per configuration file: a second instance for the same file,
// however the path is written (letter case, 8.3 form), hands its verbs to the
// first and ends with 183; the first knows the file by its long name.
#include <cctype>

#include "e2e/E2eFixture.h"

namespace holv::e2e {
namespace {

std::string SwapCase(std::string path) {
    for (char& c : path) {
        unsigned char u = static_cast<unsigned char>(c);
        if (u < 0x80) c = static_cast<char>(std::islower(u) ? std::toupper(u) : std::tolower(u));
    }
    return path;
}

std::string ShortPathOf(const std::string& path) {
    char buf[MAX_PATH * 4];
    DWORD n = GetShortPathNameA(path.c_str(), buf, sizeof buf);
    return n == 0 || n >= sizeof buf ? std::string() : std::string(buf, n);
}

class SingleInstance : public PlayerTest {};

// Each case: how the first instance is given the file, how the second one
// and the final "-stop -exit" name it.
TEST_F(SingleInstance, AnySpellingOfTheFileMeetsTheRunningInstance) {
    const std::string path = WriteVmx("Holvenstead Appliance\\HolvensteadMachine.vmx");
    std::string shortForm = ShortPathOf(path);
    if (shortForm == path) shortForm.clear();
    struct Case {
        const char* name;
        std::string first, second, bye;
    };
    const Case cases[] = {
        {"same spelling", path, "-browse " + path, path},
        {"other letter case", path, "-browse " + SwapCase(path), SwapCase(path)},
        {"started in other letter case", SwapCase(path), "-stop " + path, path},
        {"8.3 form", path, "-stop " + shortForm, shortForm},
        {"started by the 8.3 form in other case", SwapCase(shortForm), "-browse " + path, path},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.first.empty() || c.bye.empty()) continue;  // Wine gave the file no 8.3 form
        ChildProcess first;
        ASSERT_NO_FATAL_FAILURE(Start(first, c.first));
        HWND window = WaitInstanceWindow(first, path);
        ASSERT_NE(window, nullptr);
        RunResult second = RunProgram(exe_, c.second, kWaitMs);
        ASSERT_TRUE(second.ended) << "the second instance did not end";
        EXPECT_EQ(second.exitCode, static_cast<DWORD>(ERROR_ALREADY_EXISTS)) << DescribeExit(second.exitCode);
        EXPECT_TRUE(first.Running() && IsWindow(window)) << "the hand-over ended the first instance";
        ASSERT_NO_FATAL_FAILURE(EndInstance(first, c.bye));
    }
}

}  // namespace
}  // namespace holv::e2e
