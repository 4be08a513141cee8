#include <aclapi.h>
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <string>

#include "e2e/E2eHarness.h"
#include "host/ProcessLaunch.h"

using namespace holv;

namespace {

// What every local user must never get on a process the elevated program
// started: ending it, writing into it, running code in it, taking its handles,
// changing its settings or its access list.
constexpr DWORD kDangerousProcessRights = PROCESS_TERMINATE | PROCESS_CREATE_THREAD | PROCESS_VM_OPERATION |
                                          PROCESS_VM_WRITE | PROCESS_VM_READ | PROCESS_DUP_HANDLE |
                                          PROCESS_CREATE_PROCESS | PROCESS_SET_QUOTA | PROCESS_SET_INFORMATION |
                                          PROCESS_SUSPEND_RESUME | WRITE_DAC | WRITE_OWNER | DELETE;
constexpr DWORD kEveryoneProcessRights = SYNCHRONIZE | PROCESS_QUERY_INFORMATION | PROCESS_QUERY_LIMITED_INFORMATION;
constexpr DWORD kEveryoneThreadRights = SYNCHRONIZE | THREAD_QUERY_INFORMATION | THREAD_QUERY_LIMITED_INFORMATION;

struct Grants {
    int aces = 0;
    int otherAces = 0;  // ACEs that are not access-allowed ones of the three
    DWORD everyone = 0;
    DWORD administrators = 0;
    DWORD system = 0;
};

bool IsSid(PSID sid, WELL_KNOWN_SID_TYPE type) {
    BYTE buffer[SECURITY_MAX_SID_SIZE];
    DWORD size = sizeof buffer;
    return ::CreateWellKnownSid(type, nullptr, buffer, &size) && ::EqualSid(sid, buffer);
}

Grants GrantsOf(PACL dacl) {
    Grants g;
    if (!dacl) {
        g.everyone = 0xffffffff;  // no access list at all: everything for everyone
        return g;
    }
    for (DWORD i = 0; i < dacl->AceCount; ++i) {
        void* raw = nullptr;
        if (!::GetAce(dacl, i, &raw)) continue;
        ++g.aces;
        auto* header = static_cast<ACE_HEADER*>(raw);
        if (header->AceType != ACCESS_ALLOWED_ACE_TYPE) {
            ++g.otherAces;
            continue;
        }
        auto* ace = static_cast<ACCESS_ALLOWED_ACE*>(raw);
        PSID sid = &ace->SidStart;
        if (IsSid(sid, WinWorldSid))
            g.everyone |= ace->Mask;
        else if (IsSid(sid, WinBuiltinAdministratorsSid))
            g.administrators |= ace->Mask;
        else if (IsSid(sid, WinLocalSystemSid))
            g.system |= ace->Mask;
        else
            ++g.otherAces;
    }
    return g;
}

}  // namespace

namespace {

// A child started through RunCommand without a wait, held until released.
class HeldChild {
public:
    HeldChild() {
        eventName_ = "holv-held-" + std::to_string(::GetCurrentProcessId());
        release_.reset(::CreateEventA(nullptr, TRUE, FALSE, eventName_.c_str()));
        pidFile_ = folder_.Join("child.pid");
        started_ = RunCommand(kNoWait, CREATE_NO_WINDOW, "\"%s\" hold \"%s\" %s",
                              e2e::ProgramPath("holv_test_child.exe").c_str(), pidFile_.c_str(), eventName_.c_str());
        // Wait for the child to tell its ids (bounded; not a timing check).
        for (int i = 0; i < 600 && pid_ == 0 && started_ == 0; ++i) {
            std::FILE* f = std::fopen(pidFile_.c_str(), "r");
            if (f) {
                unsigned long pid = 0, tid = 0;
                if (std::fscanf(f, "%lu %lu", &pid, &tid) == 2) {
                    pid_ = pid;
                    tid_ = tid;
                }
                std::fclose(f);
            }
            if (pid_ == 0) ::Sleep(50);
        }
        if (pid_) waiter_.reset(::OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE, FALSE, pid_));
    }
    ~HeldChild() {
        ::SetEvent(release_.get());
        if (waiter_ && ::WaitForSingleObject(waiter_.get(), 10000) != WAIT_OBJECT_0) {
            ::TerminateProcess(waiter_.get(), 1);
        }
    }
    int Started() const { return started_; }
    DWORD Pid() const { return pid_; }
    DWORD Tid() const { return tid_; }

private:
    e2e::ScratchDir folder_;
    std::string eventName_;
    std::string pidFile_;
    UniqueHandle release_;
    UniqueHandle waiter_;
    int started_ = -1;
    DWORD pid_ = 0;
    DWORD tid_ = 0;
};

Grants GrantsOfObject(HANDLE object) {
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    DWORD error = ::GetSecurityInfo(object, SE_KERNEL_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &dacl,
                                    nullptr, &descriptor);
    EXPECT_EQ(error, static_cast<DWORD>(ERROR_SUCCESS));
    UniqueLocal owned(descriptor);
    return GrantsOf(dacl);
}

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

TEST(ProcessSecurity, StartedProcessAndThreadCarryTheClosedDescriptor) {
    HeldChild child;
    ASSERT_EQ(child.Started(), 0);
    ASSERT_NE(child.Pid(), 0u) << "the child did not report its ids";

    UniqueHandle process(::OpenProcess(READ_CONTROL, FALSE, child.Pid()));
    ASSERT_TRUE(process);
    Grants p = GrantsOfObject(process.get());
    EXPECT_EQ(p.aces, 3);
    EXPECT_EQ(p.otherAces, 0);
    EXPECT_EQ(p.everyone, kEveryoneProcessRights);
    EXPECT_EQ(p.everyone & kDangerousProcessRights, 0u);
    EXPECT_EQ(p.administrators, static_cast<DWORD>(PROCESS_ALL_ACCESS));
    EXPECT_EQ(p.system, static_cast<DWORD>(PROCESS_ALL_ACCESS));

    UniqueHandle thread(::OpenThread(READ_CONTROL, FALSE, child.Tid()));
    ASSERT_TRUE(thread);
    Grants t = GrantsOfObject(thread.get());
    EXPECT_EQ(t.aces, 3);
    EXPECT_EQ(t.everyone, kEveryoneThreadRights);
    EXPECT_EQ(t.administrators, static_cast<DWORD>(THREAD_ALL_ACCESS));
    EXPECT_EQ(t.system, static_cast<DWORD>(THREAD_ALL_ACCESS));
}

TEST(ProcessSecurity, OrdinaryUserMayWaitButNotTerminate) {
    HeldChild child;
    ASSERT_EQ(child.Started(), 0);
    ASSERT_NE(child.Pid(), 0u);
    UniqueHandle user = OrdinaryUserToken();
    ASSERT_TRUE(user);
    ASSERT_TRUE(::ImpersonateLoggedOnUser(user.get()));
    UniqueHandle terminate(::OpenProcess(PROCESS_TERMINATE, FALSE, child.Pid()));
    DWORD terminateError = terminate ? 0 : ::GetLastError();
    UniqueHandle write(::OpenProcess(PROCESS_VM_WRITE | PROCESS_VM_OPERATION, FALSE, child.Pid()));
    DWORD writeError = write ? 0 : ::GetLastError();
    UniqueHandle wait(::OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, child.Pid()));
    ::RevertToSelf();
    EXPECT_FALSE(terminate);
    EXPECT_EQ(terminateError, static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_FALSE(write);
    EXPECT_EQ(writeError, static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_TRUE(wait);
}
