#include "VixHost.h"

#include <cstdlib>

#include "PowerFile.h"
#include "SmallFile.h"
#include "TraceFile.h"

namespace holv::standin {
namespace {

constexpr size_t kKnobFileLimit = 64 * 1024;
// The VM belongs to the server, not to the program that asked for it: any
// process of the program may switch off what another one switched on.
constexpr DWORD kServerOwner = 0;
constexpr int kPoweredOn = 8;
constexpr int kPoweredOff = 2;

// From the process's environment block, not the C runtime's copy of it: a
// DLL's host may set variables after its runtime started.
std::string Environment(const char* name) {
    char value[MAX_PATH];
    const DWORD n = GetEnvironmentVariableA(name, value, sizeof value);
    return n > 0 && n < sizeof value ? std::string(value, n) : std::string();
}

std::string KnobFilePath() {
    const std::string env = Environment("HOLV_VIX_CONFIG");
    return env.empty() ? ModuleFolder() + "vix.conf" : env;
}

}  // namespace

void VixHost::Refresh() {
    std::string text = ReadSmallFile(KnobFilePath(), kKnobFileLimit);
    if (text == knobText_) return;
    knobText_ = std::move(text);
    knobs_ = ParseKeyValues(knobText_);
    registerFailures_ = 0;
}

VixErrorValue VixHost::Knob(const char* key) const {
    const std::string text = ValueOr(knobs_, key);
    return text.empty() ? 0 : std::strtoull(text.c_str(), nullptr, 0);
}

void VixHost::Trace(const std::string& line) const {
    const std::string env = Environment("HOLV_VIX_TRACE");
    AppendLine(env.empty() ? ValueOr(knobs_, "trace") : env, line);
}

VixHandleId VixHost::NewObject(VixObject object) {
    const VixHandleId id = next_++;
    objects_[id] = std::move(object);
    return id;
}

VixHandleId VixHost::NewJob(VixErrorValue error, VixHandleId result) {
    return NewObject({VixKind::Job, error, result, {}});
}

const VixObject* VixHost::Find(VixHandleId handle, VixKind kind) const {
    auto it = objects_.find(handle);
    return it != objects_.end() && it->second.kind == kind ? &it->second : nullptr;
}

bool VixHost::IsHost(VixHandleId handle) const {
    return Find(handle, VixKind::Host) != nullptr;
}

VixHandleId VixHost::Connect() {
    if (const VixErrorValue error = Knob("connect-error")) return NewJob(error);
    return NewJob(0, NewObject({VixKind::Host, 0, 0, {}}));
}

VixHandleId VixHost::RegisterVm(VixHandleId host, const std::string& vmxPath) {
    if (!IsHost(host)) return NewJob(kVixBadArgument);
    if (registerFailures_ < static_cast<long>(Knob("register-failures"))) {
        ++registerFailures_;
        const VixErrorValue error = Knob("register-error");
        return NewJob(error ? error : kVixFail);
    }
    return NewJob(0);
}

VixHandleId VixHost::OpenVm(VixHandleId host, const std::string& vmxPath) {
    if (!IsHost(host)) return NewJob(kVixBadArgument);
    if (const VixErrorValue error = Knob("open-error")) return NewJob(error);
    return NewJob(0, NewObject({VixKind::Vm, 0, 0, vmxPath}));
}

std::string VixHost::PowerFile(const VixObject& vm) const {
    const std::string knob = ValueOr(knobs_, "power-file");
    return knob.empty() ? PowerFilePath(vm.vmxPath) : knob;
}

VixHandleId VixHost::PowerOn(VixHandleId handle, std::string* effect) {
    const VixObject* vm = Find(handle, VixKind::Vm);
    if (!vm) return NewJob(kVixBadArgument);
    if (const VixErrorValue error = Knob("power-on-error")) return NewJob(error);
    const std::string path = PowerFile(*vm);
    *effect = path.empty() ? " power=none" : standin::PowerOn(path, kServerOwner) ? " power=on" : " power=failed";
    return NewJob(0);
}

VixHandleId VixHost::PowerOff(VixHandleId handle, std::string* effect) {
    const VixObject* vm = Find(handle, VixKind::Vm);
    if (!vm) return NewJob(kVixBadArgument);
    if (const VixErrorValue error = Knob("power-off-error")) return NewJob(error);
    const std::string path = PowerFile(*vm);
    *effect = path.empty() ? " power=none" : standin::PowerOff(path, kServerOwner) ? " power=off" : " power=kept";
    return NewJob(0);
}

int VixHost::PowerState(const VixObject& vm) const {
    const std::string knob = ValueOr(knobs_, "power-state");
    if (!knob.empty()) return static_cast<int>(std::strtol(knob.c_str(), nullptr, 0));
    return PathExists(PowerFile(vm)) ? kPoweredOn : kPoweredOff;
}

VixErrorValue VixHost::JobError(VixHandleId job) const {
    const VixObject* object = Find(job, VixKind::Job);
    return object ? object->error : kVixBadArgument;
}

bool VixHost::JobHangs(VixHandleId job) const {
    return Find(job, VixKind::Job) && Knob("jobs-hang") != 0;
}

VixErrorValue VixHost::JobProperty(VixHandleId job, int id, void* address, std::string* shown) {
    const VixObject* object = Find(job, VixKind::Job);
    if (!object || !address) return kVixBadArgument;
    if (id != kVixJobResultHandle) return kVixUnknownProperty;
    // A failed job has no result: the handle is cleared, as the caller's
    // "no handle" test expects.
    const VixHandleId result = object->error ? 0 : object->result;
    *static_cast<VixHandleId*>(address) = result;
    *shown += " " + std::to_string(id) + "=" + std::to_string(result);
    return object->error || result ? 0 : kVixUnknownProperty;
}

VixErrorValue VixHost::ObjectProperty(VixHandleId handle, int id, void* address, std::string* shown) {
    const VixObject* vm = Find(handle, VixKind::Vm);
    if (!vm || !address) return kVixBadArgument;
    if (id != kVixVmPowerState) return kVixUnknownProperty;
    if (const VixErrorValue error = Knob("power-state-error")) return error;
    const int state = PowerState(*vm);
    *static_cast<int*>(address) = state;
    *shown += " " + std::to_string(id) + "=" + std::to_string(state);
    return 0;
}

const char* VixHost::Release(VixHandleId handle) {
    auto it = objects_.find(handle);
    if (it == objects_.end()) return "none";
    const VixKind kind = it->second.kind;
    objects_.erase(it);
    return kind == VixKind::Job ? "job" : kind == VixKind::Host ? "host" : "vm";
}

}  // namespace holv::standin
