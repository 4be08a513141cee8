// VBoxC.dll stand-in: VirtualBox's component library, which the setup
// registers again through regsvr32. Registration and its removal succeed
// (or fail as "fail.VBoxC" says) and are traced with regsvr32's command line,
// so the trace shows the setup's command lines in order.
#include <windows.h>

#include "VBoxStandIn.h"

using namespace holv::vbox;

namespace {

HRESULT Register() {
    const int early = BeginInvocation(LoadSettings(), "VBoxC", GetCommandLineA());
    return early > 0 ? E_FAIL : S_OK;
}

}  // namespace

extern "C" __declspec(dllexport) HRESULT __stdcall DllRegisterServer() {
    return Register();
}

extern "C" __declspec(dllexport) HRESULT __stdcall DllUnregisterServer() {
    return Register();
}
