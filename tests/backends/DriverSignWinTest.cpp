// The driver-signing guard killed at each of its steps: a child process (this
// test program again) takes the guard and is terminated at the step a row
// names; the next start's undo must put back exactly the values before, and
// leave no entry. Changes the machine's and the user's policy values: runs
// only in a throwaway prefix (holv_e2e_test).
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "backends/CDriverSign.h"
#include "e2e/E2eHarness.h"
#include "session/HostJournal.h"

namespace holv {
namespace {

constexpr char kKillAt[] = "HOLV_TEST_DRIVERSIGN_KILL";  // "<step> <slot>", or "install"
constexpr UINT kKilled = 77;

// The guard's four values, in its slot order.
const struct {
    HKEY root;
    const char* key;
} kValues[] = {
    {HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Driver Signing"},
    {HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Non-Driver Signing"},
    {HKEY_CURRENT_USER, "Software\\Microsoft\\Driver Signing"},
    {HKEY_CURRENT_USER, "Software\\Microsoft\\Non-Driver Signing"},
};

// The values before: one stricter than relaxed of each hive, one absent.
void SetBefore() {
    const BYTE warn = 1;
    const DWORD block = 2;
    RegSetKeyValueA(kValues[0].root, kValues[0].key, "Policy", REG_BINARY, &warn, 1);
    RegDeleteKeyValueA(kValues[1].root, kValues[1].key, "Policy");
    RegSetKeyValueA(kValues[2].root, kValues[2].key, "Policy", REG_DWORD, &block, 4);
    RegDeleteKeyValueA(kValues[3].root, kValues[3].key, "Policy");
}

// Per slot: '.' as before, 'R' relaxed, '?' anything else.
std::string State() {
    std::string state;
    for (int i = 0; i < 4; ++i) {
        BYTE data[8] = {};
        DWORD type = 0, size = sizeof data;
        LSTATUS rc = RegGetValueA(kValues[i].root, kValues[i].key, "Policy", RRF_RT_ANY, &type, data, &size);
        bool absent = rc == ERROR_FILE_NOT_FOUND;
        bool relaxed = rc == ERROR_SUCCESS && type == (i < 2 ? REG_BINARY : REG_DWORD) && size == (i < 2 ? 1u : 4u) &&
                       !std::memcmp(data, "\0\0\0\0", size);
        bool before = i % 2 ? absent : rc == ERROR_SUCCESS && data[0] == (i == 0 ? 1 : 2);
        state += relaxed ? 'R' : before ? '.' : '?';
    }
    return state;
}

size_t Entries() {
    return JournalRead("DriverSigning").size();
}

void KillAtStep(DriverSignStep step, int slot) {
    static const char* names[] = {"saved", "relaxed", "restored"};
    std::string at = std::string(names[static_cast<int>(step)]) + " " + std::to_string(slot);
    if (at == std::getenv(kKillAt)) TerminateProcess(GetCurrentProcess(), kKilled);
}

// The child: takes the guard, "installs", lets it go; killed where told.
TEST(DriverSignKilled, Child) {
    if (!std::getenv(kKillAt)) GTEST_SKIP() << "run by the table below";
    SetDriverSignStepHook(KillAtStep);
    {
        CDriverSign guard;
        if (std::string(std::getenv(kKillAt)) == "install") TerminateProcess(GetCurrentProcess(), kKilled);
    }
}

// The exit code of the child killed at `at`; -1 when it did not end.
long RunChild(const char* at) {
    char self[MAX_PATH];
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    std::string line = std::string("\"") + self + "\" --gtest_filter=DriverSignKilled.Child";
    SetEnvironmentVariableA(kKillAt, at);
    STARTUPINFOA si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    BOOL started = CreateProcessA(self, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi);
    SetEnvironmentVariableA(kKillAt, nullptr);
    if (!started) return -1;
    DWORD code = static_cast<DWORD>(-1);
    if (WaitForSingleObject(pi.hProcess, 120000) == WAIT_OBJECT_0)
        GetExitCodeProcess(pi.hProcess, &code);
    else
        TerminateProcess(pi.hProcess, 1);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return static_cast<long>(code);
}

TEST(DriverSignKilled, TheNextStartPutsBackExactlyTheValuesBefore) {
    if (std::getenv(kKillAt)) GTEST_SKIP() << "the child";
    ASSERT_TRUE(e2e::InThrowawayPrefix()) << "changes the driver-signing policy: run through scripts/wine-fresh.sh";
    const struct {
        const char* at;
        const char* afterKill;  // the values' state when killed
        size_t entries;         // the journal's entries then
    } rows[] = {
        {"saved 0", "....", 1},                             // on record, not yet relaxed
        {"relaxed 1", "RR..", 2},                           // the machine's relaxed, the user's not yet
        {"saved 2", "RR..", 3},    {"install", "RRRR", 4},  // all relaxed: the installation runs
        {"restored 0", ".RRR", 4},                          // one back, its entry not yet erased
        {"restored 2", "...R", 2},                          // the machine's back and erased, the user's first back
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.at);
        SetBefore();
        ASSERT_EQ(RunChild(row.at), static_cast<long>(kKilled)) << "the child was not killed at its step";
        EXPECT_EQ(State(), row.afterKill);
        EXPECT_EQ(Entries(), row.entries);
        RestoreDriverSigningFromJournal();
        EXPECT_EQ(State(), "....");
        EXPECT_EQ(Entries(), 0u);
    }
}

}  // namespace
}  // namespace holv
