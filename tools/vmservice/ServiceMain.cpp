// vmservice.exe: a stand-in for the two services a VMware Server runs
// ("VMAuthdService", "vmserverdWin32"). As a service it does nothing but
// report running until it is told to stop. The same program installs,
// starts, stops and removes such a service in the current Wine prefix, and
// waits until the service manager reports the state reached:
//   vmservice.exe NAME                  (run by the service manager)
//   vmservice.exe -install|-start|-stop|-remove NAME
// Exit code 0, or the system's error of the step that failed (1053 when the
// state was not reached in time), which is also written to stderr: a shell
// sees only its low 8 bits.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "base/Unique.h"

using namespace holv;

namespace {

constexpr DWORD kStateWaitMs = 60000;
constexpr DWORD kStatePollMs = 100;
constexpr size_t kNameSize = 64;

char g_name[kNameSize];
SERVICE_STATUS_HANDLE g_status = nullptr;
UniqueHandle g_stop;

void Report(DWORD state) {
    SERVICE_STATUS status{};
    status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
    status.dwCurrentState = state;
    status.dwControlsAccepted = state == SERVICE_RUNNING ? SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_SHUTDOWN : 0;
    SetServiceStatus(g_status, &status);
}

DWORD WINAPI Control(DWORD control, DWORD, void*, void*) {
    if (control == SERVICE_CONTROL_STOP || control == SERVICE_CONTROL_SHUTDOWN) {
        Report(SERVICE_STOP_PENDING);
        SetEvent(g_stop.get());
    }
    return NO_ERROR;
}

void WINAPI ServiceMain(DWORD, char**) {
    g_status = RegisterServiceCtrlHandlerExA(g_name, Control, nullptr);
    if (!g_status) return;
    g_stop.reset(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    Report(SERVICE_RUNNING);
    WaitForSingleObject(g_stop.get(), INFINITE);
    Report(SERVICE_STOPPED);
}

int RunService(const char* name) {
    lstrcpynA(g_name, name, sizeof g_name);
    SERVICE_TABLE_ENTRYA table[] = {{g_name, ServiceMain}, {nullptr, nullptr}};
    return StartServiceCtrlDispatcherA(table) ? 0 : static_cast<int>(GetLastError());
}

int LastError() {
    return static_cast<int>(GetLastError());
}

// Polls until the service reports want; 0, or 1053 (no answer in time).
int WaitForState(SC_HANDLE service, DWORD want) {
    for (DWORD waited = 0; waited < kStateWaitMs; waited += kStatePollMs) {
        SERVICE_STATUS status{};
        if (!QueryServiceStatus(service, &status)) return LastError();
        if (status.dwCurrentState == want) return 0;
        Sleep(kStatePollMs);
    }
    return ERROR_SERVICE_REQUEST_TIMEOUT;
}

std::string OwnCommand(const char* name) {
    char self[MAX_PATH];
    DWORD n = GetModuleFileNameA(nullptr, self, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return {};
    return "\"" + std::string(self, n) + "\" " + name;
}

// Installed already: the binary is pointed at this program again, so a
// prefix kept from an older build still runs the current one.
int Install(SC_HANDLE manager, const char* name) {
    const std::string command = OwnCommand(name);
    if (command.empty()) return ERROR_FILENAME_EXCED_RANGE;
    UniqueService service(CreateServiceA(manager, name, name, SERVICE_ALL_ACCESS, SERVICE_WIN32_OWN_PROCESS,
                                         SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL, command.c_str(), nullptr, nullptr,
                                         nullptr, nullptr, nullptr));
    if (service) return 0;
    if (GetLastError() != ERROR_SERVICE_EXISTS) return LastError();
    service.reset(OpenServiceA(manager, name, SERVICE_CHANGE_CONFIG));
    if (!service) return LastError();
    return ChangeServiceConfigA(service.get(), SERVICE_NO_CHANGE, SERVICE_NO_CHANGE, SERVICE_NO_CHANGE, command.c_str(),
                                nullptr, nullptr, nullptr, nullptr, nullptr, nullptr)
               ? 0
               : LastError();
}

int Start(SC_HANDLE manager, const char* name) {
    UniqueService service(OpenServiceA(manager, name, SERVICE_START | SERVICE_QUERY_STATUS));
    if (!service) return LastError();
    if (!StartServiceA(service.get(), 0, nullptr) && GetLastError() != ERROR_SERVICE_ALREADY_RUNNING)
        return LastError();
    return WaitForState(service.get(), SERVICE_RUNNING);
}

int StopOpened(SC_HANDLE service) {
    SERVICE_STATUS status{};
    if (!ControlService(service, SERVICE_CONTROL_STOP, &status) && GetLastError() != ERROR_SERVICE_NOT_ACTIVE)
        return LastError();
    return WaitForState(service, SERVICE_STOPPED);
}

int Stop(SC_HANDLE manager, const char* name) {
    UniqueService service(OpenServiceA(manager, name, SERVICE_STOP | SERVICE_QUERY_STATUS));
    return service ? StopOpened(service.get()) : LastError();
}

// Not installed counts as removed: the goal is "not there".
int Remove(SC_HANDLE manager, const char* name) {
    UniqueService service(OpenServiceA(manager, name, SERVICE_STOP | SERVICE_QUERY_STATUS | DELETE));
    if (!service) return GetLastError() == ERROR_SERVICE_DOES_NOT_EXIST ? 0 : LastError();
    if (const int rc = StopOpened(service.get())) return rc;
    return DeleteService(service.get()) || GetLastError() == ERROR_SERVICE_MARKED_FOR_DELETE ? 0 : LastError();
}

int Manage(const char* verb, const char* name) {
    using Step = int (*)(SC_HANDLE, const char*);
    static const struct {
        const char* verb;
        Step step;
    } kSteps[] = {{"-install", Install}, {"-start", Start}, {"-stop", Stop}, {"-remove", Remove}};
    for (const auto& s : kSteps) {
        if (std::strcmp(verb, s.verb) != 0) continue;
        UniqueService manager(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
        const int rc = manager ? s.step(manager.get(), name) : LastError();
        if (rc != 0) std::fprintf(stderr, "vmservice: %s %s: error %d\n", verb, name, rc);
        return rc;
    }
    return ERROR_INVALID_PARAMETER;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 2 && argv[1][0] != '-') return RunService(argv[1]);
    if (argc == 3) return Manage(argv[1], argv[2]);
    return ERROR_INVALID_PARAMETER;
}
