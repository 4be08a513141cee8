// vix.dll stand-in: the calls the VMware Server backend makes, as plain C
// exports with the published shapes. Every call is one trace line with its
// arguments and what it gave back; see README.md.
#include <windows.h>

#include <cstdarg>
#include <string>

#include "VixHost.h"

using namespace holv::standin;

namespace {

using VixEventProc = void (*)(int handle, int eventType, int moreEventInfo, void* clientData);

VixHost g_host;
// The program has one thread, but a DLL cannot know who loads it.
SRWLOCK g_lock = SRWLOCK_INIT;

class Locked {
public:
    Locked() {
        AcquireSRWLockExclusive(&g_lock);
        g_host.Refresh();
    }
    ~Locked() { ReleaseSRWLockExclusive(&g_lock); }
    Locked(const Locked&) = delete;
    Locked& operator=(const Locked&) = delete;
};

std::string Text(const char* s) {
    return s ? "\"" + std::string(s) + "\"" : "-";
}

std::string Pointer(const void* p) {
    return p ? "set" : "0";
}

// Async calls end alike: the callback and its data, then the job handed out.
std::string Tail(VixEventProc callback, void* data, int job) {
    return " callback=" + Pointer(reinterpret_cast<const void*>(callback)) + " data=" + Pointer(data) +
           " -> job=" + std::to_string(job);
}

// Reads the (int id, pointer) pairs up to id 0 and hands each to fill; the
// first failing pair's error is the result. The ids read go to props.
template <typename Fill>
VixErrorValue ReadPairs(int id, va_list args, std::string* props, Fill fill) {
    VixErrorValue first = 0;
    for (int n = 0; id != 0; ++n) {
        if (n == kVixMaxPropertyPairs) return first ? first : kVixBadArgument;
        void* address = va_arg(args, void*);
        *props += (props->empty() ? "" : ",") + std::to_string(id);
        const VixErrorValue error = fill(id, address);
        if (!first) first = error;
        id = va_arg(args, int);
    }
    return first;
}

std::string ErrorText(VixErrorValue error) {
    return " -> error=" + std::to_string(error);
}

}  // namespace

#define VIX_EXPORT extern "C" __declspec(dllexport)

VIX_EXPORT int VixHost_Connect(int apiVersion, int hostType, const char* hostName, int hostPort, const char* userName,
                               const char* password, int options, int propertyList, VixEventProc callback,
                               void* clientData) {
    Locked lock;
    const int job = g_host.Connect();
    g_host.Trace("VixHost_Connect api=" + std::to_string(apiVersion) + " type=" + std::to_string(hostType) +
                 " host=" + Text(hostName) + " port=" + std::to_string(hostPort) + " user=" + Text(userName) +
                 " password=" + Text(password) + " options=" + std::to_string(options) +
                 " props=" + std::to_string(propertyList) + Tail(callback, clientData, job));
    return job;
}

VIX_EXPORT void VixHost_Disconnect(int host) {
    Locked lock;
    g_host.Trace("VixHost_Disconnect host=" + std::to_string(host) + (g_host.IsHost(host) ? "" : " unknown"));
}

VIX_EXPORT int VixHost_RegisterVM(int host, const char* vmxPath, VixEventProc callback, void* clientData) {
    Locked lock;
    const int job = g_host.RegisterVm(host, vmxPath ? vmxPath : "");
    g_host.Trace("VixHost_RegisterVM host=" + std::to_string(host) + " vmx=" + Text(vmxPath) +
                 Tail(callback, clientData, job));
    return job;
}

VIX_EXPORT int VixVM_Open(int host, const char* vmxPath, VixEventProc callback, void* clientData) {
    Locked lock;
    const int job = g_host.OpenVm(host, vmxPath ? vmxPath : "");
    g_host.Trace("VixVM_Open host=" + std::to_string(host) + " vmx=" + Text(vmxPath) + Tail(callback, clientData, job));
    return job;
}

VIX_EXPORT int VixVM_PowerOn(int vm, int powerOnOptions, int propertyList, VixEventProc callback, void* clientData) {
    Locked lock;
    std::string effect;
    const int job = g_host.PowerOn(vm, &effect);
    g_host.Trace("VixVM_PowerOn vm=" + std::to_string(vm) + " options=" + std::to_string(powerOnOptions) +
                 " props=" + std::to_string(propertyList) + Tail(callback, clientData, job) + effect);
    return job;
}

VIX_EXPORT int VixVM_PowerOff(int vm, int powerOffOptions, VixEventProc callback, void* clientData) {
    Locked lock;
    std::string effect;
    const int job = g_host.PowerOff(vm, &effect);
    g_host.Trace("VixVM_PowerOff vm=" + std::to_string(vm) + " options=" + std::to_string(powerOffOptions) +
                 Tail(callback, clientData, job) + effect);
    return job;
}

// Not traced: a caller asks it many times a job.
VIX_EXPORT uint64_t VixJob_CheckCompletion(int job, char* complete) {
    Locked lock;
    if (!complete) return kVixBadArgument;
    *complete = g_host.JobHangs(job) ? 0 : 1;
    return 0;
}

VIX_EXPORT uint64_t VixJob_Wait(int job, int firstPropertyId, ...) {
    // A hung job's wait lasts as long as the hang, outside the lock.
    for (;;) {
        {
            Locked lock;
            if (!g_host.JobHangs(job)) break;
        }
        Sleep(100);
    }
    Locked lock;
    std::string props;
    std::string shown;
    va_list args;
    va_start(args, firstPropertyId);
    const VixErrorValue pairs = ReadPairs(firstPropertyId, args, &props, [&](int id, void* address) {
        return g_host.JobProperty(job, id, address, &shown);
    });
    va_end(args);
    const VixErrorValue jobError = g_host.JobError(job);
    const VixErrorValue error = jobError ? jobError : pairs;
    g_host.Trace("VixJob_Wait job=" + std::to_string(job) + " props=" + (props.empty() ? "0" : props) +
                 ErrorText(error) + shown);
    return error;
}

VIX_EXPORT uint64_t Vix_GetProperties(int handle, int firstPropertyId, ...) {
    Locked lock;
    std::string props;
    std::string shown;
    va_list args;
    va_start(args, firstPropertyId);
    const VixErrorValue error = ReadPairs(firstPropertyId, args, &props, [&](int id, void* address) {
        return g_host.ObjectProperty(handle, id, address, &shown);
    });
    va_end(args);
    g_host.Trace("Vix_GetProperties handle=" + std::to_string(handle) + " props=" + (props.empty() ? "0" : props) +
                 ErrorText(error) + shown);
    return error;
}

VIX_EXPORT void Vix_ReleaseHandle(int handle) {
    Locked lock;
    const char* kind = g_host.Release(handle);
    g_host.Trace("Vix_ReleaseHandle handle=" + std::to_string(handle) + " kind=" + kind);
}
