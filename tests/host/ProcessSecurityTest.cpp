// The closed descriptor of what the elevated program starts, as an ordinary
// local user meets it.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <string>

#include "e2e/E2eHarness.h"
#include "host/ProcessLaunch.h"

using namespace holv;

namespace {

// A child started through RunCommand without a wait, held until released.
struct HeldChild {
    HeldChild() {
        const std::string event = "holv-held-" + std::to_string(::GetCurrentProcessId());
        const std::string file = folder.Join("child.pid");
        release.reset(::CreateEventA(nullptr, TRUE, FALSE, event.c_str()));
        started = RunCommand(kNoWait, CREATE_NO_WINDOW, "\"%s\" hold \"%s\" %s",
                             e2e::ProgramPath("holv_test_child.exe").c_str(), file.c_str(), event.c_str());
        // Wait for the child to tell its ids (bounded; not a timing check).
        for (int i = 0; i < 600 && started == 0; ++i, ::Sleep(50))
            if (std::sscanf(e2e::ReadFileText(file).c_str(), "%lu %lu", &pid, &tid) == 2) break;
        if (pid) waiter.reset(::OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE, FALSE, pid));
    }
    ~HeldChild() {
        ::SetEvent(release.get());
        if (waiter && ::WaitForSingleObject(waiter.get(), 10000) != WAIT_OBJECT_0) ::TerminateProcess(waiter.get(), 1);
    }
    e2e::ScratchDir folder;
    UniqueHandle release, waiter;
    int started = -1;
    unsigned long pid = 0, tid = 0;
};

// The program's own token with the Administrators group made deny-only: an
// ordinary local user as far as access checks go.
UniqueHandle OrdinaryUserToken() {
    UniqueHandle own;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_ALL_ACCESS, own.put())) return UniqueHandle();
    BYTE admins[SECURITY_MAX_SID_SIZE];
    DWORD size = sizeof admins;
    if (!::CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, admins, &size)) return UniqueHandle();
    SID_AND_ATTRIBUTES disable{admins, 0};
    UniqueHandle restricted;
    if (!::CreateRestrictedToken(own.get(), 0, 1, &disable, 0, nullptr, 0, nullptr, restricted.put())) {
        return UniqueHandle();
    }
    return restricted;
}

}  // namespace

// An ordinary user may wait for such a process and its thread and ask about
// them; never end them, write into them, run code in them, take their
// handles, or change their settings. (The owner's own rights over the access
// list are not the descriptor's doing.)
TEST(ProcessSecurity, OrdinaryUserMayWaitButNotTerminate) {
    HeldChild child;
    ASSERT_EQ(child.started, 0);
    ASSERT_NE(child.pid, 0ul) << "the child did not report its ids";
    UniqueHandle user = OrdinaryUserToken();
    ASSERT_TRUE(user);
    const struct {
        bool thread;
        DWORD access;
        bool granted;
    } rows[] = {
        {false, SYNCHRONIZE | PROCESS_QUERY_INFORMATION | PROCESS_QUERY_LIMITED_INFORMATION, true},
        {false, PROCESS_TERMINATE, false},
        {false, PROCESS_CREATE_THREAD, false},
        {false, PROCESS_VM_OPERATION | PROCESS_VM_WRITE, false},
        {false, PROCESS_VM_READ, false},
        {false, PROCESS_DUP_HANDLE, false},
        {false, PROCESS_SET_INFORMATION, false},
        {false, PROCESS_SUSPEND_RESUME, false},
        {true, SYNCHRONIZE | THREAD_QUERY_INFORMATION | THREAD_QUERY_LIMITED_INFORMATION, true},
        {true, THREAD_TERMINATE, false},
        {true, THREAD_SET_CONTEXT, false},
        {true, THREAD_SUSPEND_RESUME, false},
    };
    for (const auto& r : rows) {
        ASSERT_TRUE(::ImpersonateLoggedOnUser(user.get()));
        UniqueHandle h(r.thread ? ::OpenThread(r.access, FALSE, child.tid) : ::OpenProcess(r.access, FALSE, child.pid));
        DWORD error = h ? 0 : ::GetLastError();
        ::RevertToSelf();
        EXPECT_EQ(error, r.granted ? 0u : static_cast<DWORD>(ERROR_ACCESS_DENIED))
            << (r.thread ? "thread" : "process") << " access 0x" << std::hex << r.access;
    }
}
