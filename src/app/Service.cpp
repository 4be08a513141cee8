#include "app/Service.h"

#include <atomic>
#include <mutex>
#include <vector>

#include "app/ServiceRules.h"
#include "base/EventLog.h"
#include "base/RegistryText.h"
#include "base/Text.h"
#include "base/Unique.h"
#include "host/ProcessSecurity.h"

namespace holv {
namespace {

// The service process's state. ServiceMain fills the path and arguments
// before it reports anything but start pending, and the manager sends stop or
// shutdown only after that, so the handler reads them filled. The status
// record is written and read from both threads (ServiceMain's and the
// dispatcher's), hence the lock around every use of it.
struct ServiceProcess {
    SERVICE_STATUS_HANDLE handle = nullptr;
    ServiceStatusRecord record;
    uint32_t counter = 1;
    std::mutex statusLock;
    char programPath[kServicePathMax + 1] = {};
    char arguments[kServiceArgumentsBytes] = {};
    std::atomic<bool> handedOver{false};
};
ServiceProcess g_service;

// Not a service state: report the state the record holds, read under the
// lock like every other use of the record.
constexpr uint32_t kSameState = 0;

BOOL ReportServiceStatus(uint32_t state) {
    std::lock_guard<std::mutex> lock(g_service.statusLock);
    if (state == kSameState) state = g_service.record.currentState;
    AdvanceServiceStatus(g_service.record, g_service.counter, state);
    const ServiceStatusRecord& r = g_service.record;
    SERVICE_STATUS status{r.serviceType, r.currentState, r.controlsAccepted, r.win32ExitCode, r.serviceSpecificExitCode,
                          r.checkPoint,  r.waitHint};
    return SetServiceStatus(g_service.handle, &status);
}

void SetServiceExitCodes(uint32_t win32, uint32_t specific) {
    std::lock_guard<std::mutex> lock(g_service.statusLock);
    g_service.record.win32ExitCode = win32;
    g_service.record.serviceSpecificExitCode = specific;
}

// The program's own path; false when it does not fit.
bool GetProgramPath(char* buffer, DWORD size) {
    DWORD n = GetModuleFileNameA(nullptr, buffer, size);
    if (n == 0 || n >= size) {
        buffer[0] = '\0';
        return false;
    }
    return true;
}

// A value too long for the buffer, or no text, leaves the arguments empty:
// the child then serves the file beside the program.
void ReadServiceArguments(char (&out)[kServiceArgumentsBytes]) {
    out[0] = '\0';
    UniqueKey key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kServiceParametersKey, 0, KEY_READ, key.put()) != ERROR_SUCCESS) return;
    ReadRegistryText(key.get(), kServiceArgumentsValue, out);
}

// Starts the program with a command line of the service's, under the closed
// process descriptor: the service runs as SYSTEM, and its children must not
// be open to every local user. Returns the process handle, or none.
UniqueHandle StartServiceChild(std::string commandLine) {
    ProcessSecurity security;
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    if (!CreateProcessA(g_service.programPath, commandLine.data(), security.ProcessAttributes(),
                        security.ThreadAttributes(), FALSE, CREATE_NEW_PROCESS_GROUP, nullptr, nullptr, &startup,
                        &info)) {
        return UniqueHandle();
    }
    UniqueHandle thread(info.hThread);  // not needed: closed right away
    return UniqueHandle(info.hProcess);
}

// The event goes before the status: once the manager reads "stopped" it may
// end this process, and whoever reads the log then finds the event there.
void ReportStopped(bool tellTheLog) {
    if (tellTheLog) ReportHolvEvent(HolvEvent::ServiceStopped);
    ReportServiceStatus(ServiceStopped);
}

std::string ExitCodeText(DWORD code) {
    char text[40];
    FormatText(text, sizeof text, "exit code %lu", static_cast<unsigned long>(code));
    return text;
}

DWORD WaitForChild(const UniqueHandle& process) {
    WaitForSingleObject(process.get(), INFINITE);
    DWORD code = 0;
    if (!GetExitCodeProcess(process.get(), &code)) code = 0;
    return code;
}

void WINAPI ServiceControlHandler(DWORD control) {
    if (control != ServiceControlStop && control != ServiceControlShutdown) {
        // Interrogate and the rest: the manager gets the record again.
        ReportServiceStatus(kSameState);
        return;
    }
    ReportServiceStatus(ServiceStopPending);
    // The stop command line stops the VM through the running instance and
    // ends it; it gives up after 60 s of waiting for that instance.
    UniqueHandle stopper = StartServiceChild(ServiceStopCommandLine(g_service.programPath, g_service.arguments));
    if (!stopper) return;
    WaitForChild(stopper);
    // The start another instance took over: ServiceMain has returned and
    // will not say that the service stopped.
    ReportStopped(g_service.handedOver);
}

}  // namespace

void InstallService(const std::string& configPath) {
    char programPath[512];
    if (!GetProgramPath(programPath, sizeof programPath)) return;
    UniqueService manager(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
    if (!manager) return;
    std::string binaryPath = ServiceBinaryPath(programPath);
    // The dependency list ends with an empty name.
    static const char kDependencies[] = "TCPIP\0";
    UniqueService service(CreateServiceA(manager.get(), kServiceName, kServiceName, SERVICE_ALL_ACCESS, kServiceType,
                                         SERVICE_AUTO_START, SERVICE_ERROR_NORMAL, binaryPath.c_str(), nullptr, nullptr,
                                         kDependencies, nullptr, nullptr));
    // An existing service keeps its definition and its stored path.
    if (!service || configPath.empty()) return;
    // A service without its path would serve the file beside the program,
    // not the one asked for: without the value there is no service either.
    ScopeGuard rollback([&] { DeleteService(service.get()); });
    UniqueKey key;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, kServiceParametersKey, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                        nullptr, key.put(), nullptr) != ERROR_SUCCESS) {
        return;
    }
    if (RegSetValueExA(key.get(), kServiceArgumentsValue, 0, REG_SZ, reinterpret_cast<const BYTE*>(configPath.c_str()),
                       static_cast<DWORD>(configPath.size() + 1)) != ERROR_SUCCESS) {
        return;
    }
    rollback.release();
}

void RemoveService() {
    UniqueService manager(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
    if (!manager) return;
    UniqueService service(OpenServiceA(manager.get(), kServiceName, SERVICE_ALL_ACCESS));
    if (!service) return;
    DeleteService(service.get());
}

bool ServiceIsAutostart() {
    UniqueService manager(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT));
    if (!manager) return false;
    UniqueService service(OpenServiceA(manager.get(), kServiceName, SERVICE_QUERY_CONFIG));
    if (!service) return false;
    // The configuration carries its texts behind the record: ask once with
    // room for the record alone, then with the size the manager names.
    std::vector<unsigned char> buffer(36);
    DWORD needed = 0;
    auto* config = reinterpret_cast<QUERY_SERVICE_CONFIGA*>(buffer.data());
    BOOL ok = QueryServiceConfigA(service.get(), config, static_cast<DWORD>(buffer.size()), &needed);
    if (!ok && GetLastError() == ERROR_INSUFFICIENT_BUFFER && needed > buffer.size()) {
        buffer.resize(needed);
        config = reinterpret_cast<QUERY_SERVICE_CONFIGA*>(buffer.data());
        ok = QueryServiceConfigA(service.get(), config, static_cast<DWORD>(buffer.size()), &needed);
    }
    return ok && config->dwStartType == SERVICE_AUTO_START;
}

void WINAPI ServiceMain(DWORD, LPSTR*) {
    g_service.record = ServiceStatusRecord{};
    g_service.handle = RegisterServiceCtrlHandlerA(kServiceName, ServiceControlHandler);
    if (!g_service.handle) return;
    if (ReportServiceStatus(ServiceStartPending)) {
        ReadServiceArguments(g_service.arguments);
        GetProgramPath(g_service.programPath, sizeof g_service.programPath);
        UniqueHandle child = StartServiceChild(ServiceStartCommandLine(g_service.programPath, g_service.arguments));
        if (child) {
            ReportServiceStatus(ServiceRunning);
            ReportHolvEvent(HolvEvent::ServiceStarted, g_service.arguments);
            DWORD code = WaitForChild(child);
            ServiceEnd end = ServiceEndForChildExit(code);
            SetServiceExitCodes(end.win32ExitCode, end.serviceSpecificExitCode);
            // A hand-over (183) is no failure.
            if (end.win32ExitCode == kServiceSpecificError) {
                ReportHolvEvent(HolvEvent::ServiceChildFailed, ExitCodeText(code));
            }
            // 183: another instance took the start over. The service stays
            // running, so that its stop still reaches that instance.
            if (!end.reportStopped) {
                g_service.handedOver = true;
                return;
            }
        } else {
            ReportHolvEvent(HolvEvent::ServiceChildFailed, "it could not be started");
        }
    }
    ReportStopped(true);
}

}  // namespace holv
