// The service's bookkeeping that does not need the service manager: the
// status record's transitions, what the child's exit code makes of the
// service's end, the child command lines and the stored arguments. Kept free
// of windows.h so it is checked natively as well.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

namespace holv {

// The platform's numbers, as the service manager knows them.
enum ServiceState : uint32_t {
    ServiceStopped = 1,
    ServiceStartPending = 2,
    ServiceStopPending = 3,
    ServiceRunning = 4,
};
enum ServiceControl : uint32_t {
    ServiceControlStop = 1,
    ServiceControlShutdown = 5,
};
inline constexpr uint32_t kServiceType = 0x110;  // own process, interactive
inline constexpr uint32_t kServiceAcceptStopAndShutdown = 0x1 | 0x4;
inline constexpr uint32_t kServicePendingWaitHintMs = 3000;
inline constexpr uint32_t kServiceSpecificError = 1066;
inline constexpr int kChildAlreadyServed = 183;

// Both buffers of the service's state, and the child command line's limit.
inline constexpr size_t kServicePathMax = 260;
inline constexpr size_t kServiceArgumentsBytes = 260;
inline constexpr size_t kServiceCommandLineMax = 552;

// Field for field the platform's SERVICE_STATUS.
struct ServiceStatusRecord {
    uint32_t serviceType = kServiceType;
    uint32_t currentState = ServiceStopped;
    uint32_t controlsAccepted = 0;
    uint32_t win32ExitCode = 0;
    uint32_t serviceSpecificExitCode = 0;
    uint32_t checkPoint = 0;
    uint32_t waitHint = 0;
};

// Moves the record to state: no controls while start is pending (the stop
// handler needs what ServiceMain fills first), stop and shutdown otherwise;
// pending states take the next checkpoint from counter (starting at 1) and a
// wait hint, settled ones neither.
void AdvanceServiceStatus(ServiceStatusRecord& record, uint32_t& counter, uint32_t state);

// What ending the service after its child looks like.
struct ServiceEnd {
    bool reportStopped = true;
    uint32_t win32ExitCode = 0;
    uint32_t serviceSpecificExitCode = 0;
};
// 183: another instance serves the file and took over the start; the service
// stays reported running so that its stop still reaches that instance.
// Other non-zero codes are recorded as a service-specific error.
ServiceEnd ServiceEndForChildExit(uint32_t childExitCode);

// "\"%s\" -start %s" and "\"%s\" -stop -exit %s", cut to 552 characters.
std::string ServiceStartCommandLine(const char* programPath, const char* arguments);
std::string ServiceStopCommandLine(const char* programPath, const char* arguments);

// The service's binary path: the program's path, quoted when it contains
// blanks, so the service manager can never take a prefix of it ("C:\Program")
// for the program to run.
std::string ServiceBinaryPath(const char* programPath);

}  // namespace holv
