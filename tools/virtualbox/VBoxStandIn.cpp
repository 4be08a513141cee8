#include "VBoxStandIn.h"

#include <windows.h>

#include <cstdlib>

#include "PowerFile.h"
#include "SmallFile.h"
#include "TraceFile.h"

namespace holv::vbox {
namespace {

using namespace holv::standin;

constexpr char kConfigName[] = "vbox-standin.conf";
constexpr char kTraceName[] = "vbox-trace.txt";
constexpr DWORD kBlockPollMs = 100;
// A test that forgets its file must not leave a process behind for ever.
constexpr DWORD kBlockLimitMs = 10 * 60 * 1000;

std::string Environment(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

// Invocations of WORD counted so far (before this one), kept beside the
// settings so that "fail-times" spans processes.
long CountInvocation(const StandInSettings& settings, const std::string& word) {
    const std::string path = settings.configPath + ".counts";
    KeyValues counts = ParseKeyValues(ReadSmallFile(path));
    const long before = NumberOr(counts, word, 0);
    counts[word] = std::to_string(before + 1);
    std::string text;
    for (const auto& [key, value] : counts) text += key + "=" + value + "\n";
    WriteSmallFile(path, text);
    return before;
}

// Never returns early without a reason: the block either ends or times out.
bool WaitForFile(const std::string& path) {
    for (DWORD waited = 0; !PathExists(path); waited += kBlockPollMs) {
        if (waited >= kBlockLimitMs) return false;
        Sleep(kBlockPollMs);
    }
    return true;
}

// Straight to the handle: the C library's text mode would add a '\r' to
// every '\n' of a configured listing.
void Write(DWORD stream, const std::string& text) {
    DWORD written = 0;
    WriteFile(GetStdHandle(stream), text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}

}  // namespace

StandInSettings LoadSettings() {
    StandInSettings s;
    s.configPath = Environment("HOLV_VBOX_CONFIG");
    if (s.configPath.empty()) s.configPath = ModuleFolder() + kConfigName;
    s.values = ParseKeyValues(ReadSmallFile(s.configPath));
    s.tracePath = ValueOr(s.values, "trace", ModuleFolder() + kTraceName);
    return s;
}

int BeginInvocation(const StandInSettings& settings, const std::string& word, const char* commandLine) {
    AppendLine(settings.tracePath, commandLine ? commandLine : "");
    const std::string block = ValueOr(settings.values, "block." + word);
    if (!block.empty() && !WaitForFile(block)) {
        PrintError("stand-in: gave up waiting for " + block + "\n");
        return ERROR_TIMEOUT;
    }
    const long code = NumberOr(settings.values, "fail." + word, 0);
    if (code == 0) return -1;
    const long times = NumberOr(settings.values, "fail-times." + word, -1);
    if (times >= 0 && CountInvocation(settings, word) >= times) return -1;
    PrintError("stand-in: " + word + " fails as configured\n");
    return static_cast<int>(code);
}

std::string VBoxHome() {
    std::string home = Environment("VBOX_USER_HOME");
    if (home.empty()) {
        char current[MAX_PATH];
        DWORD n = GetCurrentDirectoryA(MAX_PATH, current);
        home.assign(current, n < MAX_PATH ? n : 0);
    }
    if (!home.empty() && home.back() != '\\') home += '\\';
    return home;
}

std::string PowerFileFor(const StandInSettings& settings, const std::string& vmName) {
    std::string path = PowerFileFromEnvironment();
    if (path.empty()) path = ValueOr(settings.values, "power-file");
    if (path.empty()) path = ReadVmxKey(vmName + ".vmx", "simulator.powerFile");
    return path;
}

void Print(const std::string& text) {
    Write(STD_OUTPUT_HANDLE, text);
}

void PrintError(const std::string& text) {
    Write(STD_ERROR_HANDLE, text);
}

}  // namespace holv::vbox
