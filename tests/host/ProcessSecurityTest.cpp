// The closed descriptor of what the elevated program starts, as an ordinary
// local user meets it; and which folders it refuses to run anything from.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <string>

#include "e2e/E2eHarness.h"
#include <sddl.h>

#include "backends/VmwareFamily.h"
#include "host/FolderTrust.h"
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
    // Such a handle reads no exit code, yet must tell that the process runs.
    UniqueHandle waitOnly(::OpenProcess(SYNCHRONIZE, FALSE, child.pid));
    EXPECT_TRUE(IsStillRunning(waitOnly.get()));
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

// Each row: a descriptor and whether a folder (and a file) with it is
// refused: any standard users' group able to write, append, delete, change
// permissions or owner, or, in a folder, delete what is inside.
TEST(FolderTrust, DecidedFromTheDescriptor) {
    const struct {
        const char* sddl;
        bool folderRefused, fileRefused;
    } rows[] = {
        {"O:BAD:(A;;FA;;;BA)(A;;FA;;;SY)(A;;0x1200a9;;;BU)(A;;0x1200a9;;;WD)", false, false},
        {"O:BAD:(A;;FA;;;BA)(A;;0x2;;;BU)", true, true},   // write data (add a file)
        {"O:BAD:(A;;FA;;;BA)(A;;0x4;;;AU)", true, true},   // append data (add a folder)
        {"O:BAD:(A;;FA;;;BA)(A;;SD;;;WD)", true, true},    // delete
        {"O:BAD:(A;;WD;;;IU)", true, true},                // write permissions
        {"O:BAD:(A;;WO;;;BU)", true, true},                // take ownership
        {"O:BAD:(A;;GW;;;WD)", true, true},                // generic write
        {"O:BAD:(A;;0x40;;;BU)", true, false},             // delete child: folders only
        {"O:BAD:(A;OICIIO;FA;;;BU)", false, false},        // inherit-only: not this object's
        {"O:BAD:(D;;FA;;;WD)(A;;FA;;;BU)", false, false},  // denied first wins
        {"O:BAD:(A;;FA;;;BU)(D;;FA;;;WD)", true, true},    // a later deny takes nothing back
        {"O:BUD:(A;;FA;;;BA)", true, true},                // an owner may change permissions
        {"O:BA", true, true},                              // no DACL: everyone everything
    };
    for (const auto& r : rows) {
        PSECURITY_DESCRIPTOR descriptor = nullptr;
        ASSERT_TRUE(::ConvertStringSecurityDescriptorToSecurityDescriptorA(r.sddl, SDDL_REVISION_1, &descriptor,
                                                                           nullptr))
            << r.sddl;
        UniqueLocal hold(descriptor);
        EXPECT_EQ(CheckDescriptorTrust(descriptor, true) != 0, r.folderRefused) << r.sddl;
        EXPECT_EQ(CheckDescriptorTrust(descriptor, false) != 0, r.fileRefused) << r.sddl;
    }
}
