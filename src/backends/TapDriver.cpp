#include "backends/TapDriver.h"

#include <windows.h>

#include "base/SystemFolder.h"
#include "base/Unique.h"

namespace holv {
namespace {

using CopyOemInf = BOOL(WINAPI*)(PCSTR, PCSTR, DWORD, DWORD, PSTR, DWORD, PDWORD, PSTR*);
using UpdateDriver = BOOL(WINAPI*)(HWND, LPCSTR, LPCSTR, DWORD, PBOOL);

constexpr DWORD kSourceIsPath = 1;  // SPOST_PATH
constexpr DWORD kReplaceOnly = 2;   // SP_COPY_REPLACEONLY
constexpr DWORD kForce = 1;         // INSTALLFLAG_FORCE
constexpr char kTapHardwareId[] = "vboxtap";

template <typename F>
F Lookup(const UniqueModule& module, const char* name) {
    return module ? reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(module.get(), name))) : nullptr;
}

}  // namespace

void InstallTapDriver(const char* infPath) {
    UniqueModule setup(LoadSystemLibrary("setupapi.dll"));
    if (auto copy = Lookup<CopyOemInf>(setup, "SetupCopyOEMInfA")) {
        // Replacing an older copy in the store keeps its oemN.inf name; only
        // when there is none is a new one made.
        if (!copy(infPath, nullptr, kSourceIsPath, kReplaceOnly, nullptr, 0, nullptr, nullptr))
            copy(infPath, nullptr, kSourceIsPath, 0, nullptr, 0, nullptr, nullptr);
    }
    UniqueModule newdev(LoadSystemLibrary("newdev.dll"));
    if (auto update = Lookup<UpdateDriver>(newdev, "UpdateDriverForPlugAndPlayDevicesA"))
        update(nullptr, kTapHardwareId, infPath, kForce, nullptr);
}

}  // namespace holv
