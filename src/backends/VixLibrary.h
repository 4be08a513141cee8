// The few VIX calls the VMware Server backend makes. The vendor's library is
// loaded by name when the backend first needs it, never imported: the
// program must start on a PC without it, and its only imports stay Windows'
// own DLLs. The shapes are the library's published C signatures.
#pragma once
#include <cstdint>

#include "base/Unique.h"

namespace holv {

using VixHandle = int;      // 0 is "no handle"
using VixError = uint64_t;  // 0 is success; the code is the low 16 bits
using VixEventProc = void (*)(VixHandle handle, int eventType, int moreEventInfo, void* clientData);

inline constexpr VixHandle kVixInvalidHandle = 0;
inline constexpr int kVixApiVersion = 1;
inline constexpr int kVixServiceProviderServer = 2;
inline constexpr int kVixPropertyNone = 0;
inline constexpr int kVixPropertyJobResultHandle = 3010;
inline constexpr int kVixPropertyVmPowerState = 129;
inline constexpr int kVixPowerOpNormal = 0;

inline int VixErrorCode(VixError error) {
    return static_cast<int>(error & 0xFFFF);
}

// Entry points of the loaded library. The two variadic calls take pairs of
// (int property id, address to fill), ended by property id 0.
struct VixCalls {
    VixHandle (*hostConnect)(int apiVersion, int hostType, const char* hostName, int hostPort, const char* userName,
                             const char* password, int options, VixHandle propertyList, VixEventProc callback,
                             void* clientData);
    void (*hostDisconnect)(VixHandle host);
    VixHandle (*hostRegisterVm)(VixHandle host, const char* vmxPath, VixEventProc callback, void* clientData);
    VixHandle (*vmOpen)(VixHandle host, const char* vmxPath, VixEventProc callback, void* clientData);
    VixHandle (*vmPowerOn)(VixHandle vm, int options, VixHandle propertyList, VixEventProc callback, void* clientData);
    VixHandle (*vmPowerOff)(VixHandle vm, int options, VixEventProc callback, void* clientData);
    VixError (*jobWait)(VixHandle job, int firstPropertyId, ...);
    // complete is the library's one-byte truth value.
    VixError (*jobCheckCompletion)(VixHandle job, char* complete);
    VixError (*getProperties)(VixHandle handle, int firstPropertyId, ...);
    void (*releaseHandle)(VixHandle handle);
};

// The library's calls, loading "vix.dll" on the first call that finds it
// complete; it then stays loaded for the process. Null while the library is
// missing or lacks a call (written to the IMC log when that is on); a later
// call tries again, so a library installed meanwhile is found.
const VixCalls* LoadVixLibrary();

// Releases a handle the loaded library gave out.
void ReleaseVixHandle(VixHandle handle);

struct VixHandleTraits {
    using Type = VixHandle;
    static Type invalid() { return kVixInvalidHandle; }
    static void close(Type h) { ReleaseVixHandle(h); }
};
// A host, VM or job handle of the library, released with it.
using UniqueVixHandle = Unique<VixHandleTraits>;

// What WaitForJob gives for a job not complete by its deadline: no code the
// library gives out (those fit 16 bits), so callers tell it from a failure.
inline constexpr VixError kVixJobTimedOut = ~VixError{0};

// How long each kind of job may take (ms). The waits run on the one UI
// thread, and a hung VMware service must not hold it: the tray, the timers
// and a second instance's hand-over wait behind them. Connecting, registering
// and opening are local bookkeeping; powering off stays well inside the
// service stop's minute, shutdown grace included.
inline constexpr int kVixConnectWaitMs = 15000;
inline constexpr int kVixOpenWaitMs = 15000;  // registration and opening
inline constexpr int kVixPowerOnWaitMs = 60000;
inline constexpr int kVixPowerOffWaitMs = 30000;

// Waits for an asynchronous call's job, at most waitMs, and releases the job
// at once, so nothing runs in the background: completion is polled, and only
// a complete job is waited for (which then returns at once). A job still
// running at the deadline gives kVixJobTimedOut. With result, the job's
// result handle is stored there on success. A job of 0 (the call could not
// even start one) is waited for all the same, so the library reports why.
VixError WaitForJob(const VixCalls& vix, UniqueVixHandle job, int waitMs, UniqueVixHandle* result = nullptr);

}  // namespace holv
