#include "backends/VixLibrary.h"

#include <windows.h>

#include "base/Unique.h"
#include "imc/ImcLog.h"

namespace holv {
namespace {

constexpr char kVixLibraryName[] = "vix.dll";
constexpr DWORD kJobPollMs = 50;

// Looks up one export into a typed entry point; false when it is missing.
template <typename F>
bool Resolve(HMODULE module, const char* name, F& entry) {
    FARPROC address = GetProcAddress(module, name);
    if (!address) {
        ImcLog("VIX: %s lacks %s\n", kVixLibraryName, name);
        return false;
    }
    entry = reinterpret_cast<F>(reinterpret_cast<void*>(address));
    return true;
}

bool ResolveAll(HMODULE module, VixCalls& calls) {
    return Resolve(module, "VixHost_Connect", calls.hostConnect) &&
           Resolve(module, "VixHost_Disconnect", calls.hostDisconnect) &&
           Resolve(module, "VixHost_RegisterVM", calls.hostRegisterVm) && Resolve(module, "VixVM_Open", calls.vmOpen) &&
           Resolve(module, "VixVM_PowerOn", calls.vmPowerOn) && Resolve(module, "VixVM_PowerOff", calls.vmPowerOff) &&
           Resolve(module, "VixJob_Wait", calls.jobWait) &&
           Resolve(module, "VixJob_CheckCompletion", calls.jobCheckCompletion) &&
           Resolve(module, "Vix_GetProperties", calls.getProperties) &&
           Resolve(module, "Vix_ReleaseHandle", calls.releaseHandle);
}

// The library and its calls, kept once loaded: handles the library gave out
// must never outlive it, and backends come and go within one process.
struct LoadedVix {
    UniqueModule module;
    VixCalls calls{};
};

// Never destroyed: a backend released at the program's very end must still
// find the library in place; the system unloads it with the process.
LoadedVix& Loaded() {
    static LoadedVix* loaded = new LoadedVix;
    return *loaded;
}

}  // namespace

const VixCalls* LoadVixLibrary() {
    LoadedVix& loaded = Loaded();
    if (loaded.module) return &loaded.calls;
    UniqueModule module(LoadLibraryA(kVixLibraryName));
    if (!module) {
        ImcLog("VIX: %s could not be loaded (error %lu)\n", kVixLibraryName, GetLastError());
        return nullptr;
    }
    VixCalls calls{};
    if (!ResolveAll(module.get(), calls)) return nullptr;
    loaded.calls = calls;
    loaded.module = std::move(module);
    return &loaded.calls;
}

void ReleaseVixHandle(VixHandle handle) {
    // Only a loaded library hands out handles, and it stays loaded.
    if (Loaded().module) Loaded().calls.releaseHandle(handle);
}

namespace {

// True once the job is complete or its state cannot be read (the wait then
// reports why); false when the deadline passed first.
bool JobEndsInTime(const VixCalls& vix, VixHandle job, int waitMs) {
    DWORD start = GetTickCount();
    for (;;) {
        char complete = 0;
        if (vix.jobCheckCompletion(job, &complete) != 0 || complete) return true;
        if (GetTickCount() - start >= static_cast<DWORD>(waitMs)) return false;
        Sleep(kJobPollMs);
    }
}

}  // namespace

VixError WaitForJob(const VixCalls& vix, UniqueVixHandle job, int waitMs, UniqueVixHandle* result) {
    if (job && !JobEndsInTime(vix, job.get(), waitMs)) {
        ImcLog("VIX: job %d not complete after %d ms, given up\n", job.get(), waitMs);
        return kVixJobTimedOut;
    }
    VixHandle filled = kVixInvalidHandle;
    VixError error = result ? vix.jobWait(job.get(), kVixPropertyJobResultHandle, &filled, kVixPropertyNone)
                            : vix.jobWait(job.get(), kVixPropertyNone);
    if (error == 0 && result) result->reset(filled);
    return error;
}

}  // namespace holv
