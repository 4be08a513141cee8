// Security attributes for the processes (and their first threads) that the
// program starts. The program runs elevated; what it starts must not be open
// to every local user. Everyone may only wait for such a process and ask
// about it (what the program's own instances need to find and wait for each
// other); Administrators and SYSTEM keep full access.
#pragma once
#include <windows.h>

#include "base/Unique.h"

namespace holv {

// Everyone: SYNCHRONIZE | PROCESS_QUERY_INFORMATION |
// PROCESS_QUERY_LIMITED_INFORMATION; BUILTIN\Administrators and SYSTEM:
// PROCESS_ALL_ACCESS. Protected, so nothing is inherited into it.
inline constexpr char kProcessSddl[] = "D:P(A;;0x101400;;;WD)(A;;0x1fffff;;;BA)(A;;0x1fffff;;;SY)";
// The same for threads: SYNCHRONIZE | THREAD_QUERY_INFORMATION |
// THREAD_QUERY_LIMITED_INFORMATION, and THREAD_ALL_ACCESS.
inline constexpr char kThreadSddl[] = "D:P(A;;0x100840;;;WD)(A;;0x1fffff;;;BA)(A;;0x1fffff;;;SY)";

class ProcessSecurity {
public:
    ProcessSecurity();
    ProcessSecurity(const ProcessSecurity&) = delete;
    ProcessSecurity& operator=(const ProcessSecurity&) = delete;

    // Not inheritable attributes for CreateProcess; null when the descriptor
    // could not be built, so the process gets the creator's default one
    // (which, elevated, is just as closed) rather than an open one.
    SECURITY_ATTRIBUTES* ProcessAttributes();
    SECURITY_ATTRIBUTES* ThreadAttributes();
    bool Ok() const { return static_cast<bool>(processDescriptor_) && static_cast<bool>(threadDescriptor_); }

private:
    UniqueLocal processDescriptor_;
    UniqueLocal threadDescriptor_;
    SECURITY_ATTRIBUTES process_{};
    SECURITY_ATTRIBUTES thread_{};
};

// A self-relative descriptor from SDDL text, freed with LocalFree.
UniqueLocal DescriptorFromSddl(const char* sddl);

}  // namespace holv
