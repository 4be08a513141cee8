// The stand-in VMware Server behind vix.dll: its handles, the knobs a test
// writes, and the trace of every call. The exported calls (VixExports.cpp)
// are thin: each takes the lock, refreshes the knobs and asks this host.
#pragma once
#include <windows.h>

#include <cstdint>
#include <map>
#include <string>

#include "KeyValueFile.h"

namespace holv::standin {

using VixHandleId = int;
using VixErrorValue = uint64_t;

// Codes of the stand-in's own refusals (low 16 bits of a VIX error).
inline constexpr VixErrorValue kVixFail = 1;
inline constexpr VixErrorValue kVixBadArgument = 3;
inline constexpr VixErrorValue kVixUnknownProperty = 6000;
inline constexpr int kVixJobResultHandle = 3010;
inline constexpr int kVixVmPowerState = 129;
// More pairs than any caller passes: a list without its closing 0 stops here.
inline constexpr int kVixMaxPropertyPairs = 16;

enum class VixKind { Host, Job, Vm };

struct VixObject {
    VixKind kind = VixKind::Job;
    VixErrorValue error = 0;  // jobs: what the wait reports
    VixHandleId result = 0;   // jobs: the handle property 3010 gives
    std::string vmxPath;      // VMs: the file they were opened from
};

class VixHost {
public:
    // Reads the knob file again (HOLV_VIX_CONFIG, else vix.conf beside the
    // DLL). Counters start over whenever its text changes, so a test re-arms
    // "register-failures" by writing the file anew.
    void Refresh();

    VixHandleId Connect();
    VixHandleId RegisterVm(VixHandleId host, const std::string& vmxPath);
    VixHandleId OpenVm(VixHandleId host, const std::string& vmxPath);
    VixHandleId PowerOn(VixHandleId vm, std::string* effect);
    VixHandleId PowerOff(VixHandleId vm, std::string* effect);
    // One (id, address) pair of a wait or property read: fills the address,
    // appends " id=value" to shown, returns the error for this pair.
    VixErrorValue JobProperty(VixHandleId job, int id, void* address, std::string* shown);
    VixErrorValue JobError(VixHandleId job) const;
    // While the "jobs-hang" knob is set no job completes: a hung VMware
    // service. Clearing it completes them.
    bool JobHangs(VixHandleId job) const;
    VixErrorValue ObjectProperty(VixHandleId handle, int id, void* address, std::string* shown);
    // "job", "host", "vm", or "none" for a handle not (or no longer) given out.
    const char* Release(VixHandleId handle);
    bool IsHost(VixHandleId handle) const;

    void Trace(const std::string& line) const;

private:
    VixHandleId NewObject(VixObject object);
    VixHandleId NewJob(VixErrorValue error, VixHandleId result = 0);
    VixErrorValue Knob(const char* key) const;
    const VixObject* Find(VixHandleId handle, VixKind kind) const;
    std::string PowerFile(const VixObject& vm) const;
    int PowerState(const VixObject& vm) const;

    std::map<VixHandleId, VixObject> objects_;
    VixHandleId next_ = 1;
    std::string knobText_;
    KeyValues knobs_;
    long registerFailures_ = 0;
};

}  // namespace holv::standin
