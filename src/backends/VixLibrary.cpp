#include "backends/VixLibrary.h"

#include <windows.h>

#include <string>
#include <vector>

#include "base/RegistryText.h"
#include "base/SystemFolder.h"
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

// The install folders VMware's installers record under HKLM\SOFTWARE\VMware,
// Inc.: the VIX API's own ("VMware VIX"), then the Server's, whose
// installation carries the library ("VMware Server"); both as "InstallPath".
// Only an administrator writes there.
constexpr const char* kVixInstallKeys[] = {"SOFTWARE\\VMware, Inc.\\VMware VIX",
                                           "SOFTWARE\\VMware, Inc.\\VMware Server"};

std::string InFolder(std::string folder) {
    if (folder.empty()) return folder;
    if (folder.back() != '\\') folder += '\\';
    return folder + kVixLibraryName;
}

// Where the library may come from: VMware's installation, else beside the
// program (an administrator's folder too). Never by its bare name: the
// current folder is the VM's, which a standard user may fill.
std::vector<std::string> VixCandidates() {
    std::vector<std::string> paths;
    for (const char* keyPath : kVixInstallKeys) {
        UniqueKey key;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, keyPath, 0, KEY_QUERY_VALUE, key.put()) != ERROR_SUCCESS) continue;
        char folder[MAX_PATH];
        if (ReadRegistryText(key.get(), "InstallPath", folder) == ERROR_SUCCESS && folder[0])
            paths.push_back(InFolder(folder));
    }
    std::string beside = InFolder(ProgramFolder());
    if (!beside.empty()) paths.push_back(beside);
    return paths;
}

// The first candidate that is there, by its full path; its own folder is
// searched for what it needs, then the system folder.
UniqueModule LoadFromCandidates() {
    DWORD error = ERROR_MOD_NOT_FOUND;
    for (const std::string& path : VixCandidates()) {
        if (GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES) continue;
        UniqueModule module(
            LoadLibraryExA(path.c_str(), nullptr, LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR | LOAD_LIBRARY_SEARCH_SYSTEM32));
        if (!module && GetLastError() == ERROR_INVALID_PARAMETER)  // no such flags before the update to Windows 7
            module.reset(LoadLibraryExA(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH));
        if (module) return module;
        error = GetLastError();
    }
    SetLastError(error);
    return UniqueModule();
}

}  // namespace

const VixCalls* LoadVixLibrary() {
    LoadedVix& loaded = Loaded();
    if (loaded.module) return &loaded.calls;
    UniqueModule module = LoadFromCandidates();
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
