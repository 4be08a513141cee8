#include "host/AddressWatch.h"

// winsock2.h ahead of the IP Helper header.
// clang-format off
#include <winsock2.h>
#include <iphlpapi.h>
// clang-format on

#include "base/SystemFolder.h"

namespace holv {
namespace {

using CancelIPChangeNotifyFn = BOOL(WINAPI*)(OVERLAPPED*);

}  // namespace

bool AddressWatch::Start(HWND target, UINT notice) {
    Stop();
    // Auto-reset: the pool's wait takes the signal, so one change is one message.
    event.reset(CreateEventA(nullptr, FALSE, FALSE, nullptr));
    if (!event) return false;
    window = target;
    message = notice;
    Rearm();
    return wait != nullptr;
}

void AddressWatch::Rearm() {
    if (!event) return;
    // The one-shot wait has fired (its message is why we are here), but it
    // stays registered until it is unregistered.
    if (wait) UnregisterWaitEx(wait, nullptr);
    wait = nullptr;
    overlapped = OVERLAPPED{};
    overlapped.hEvent = event.get();
    notify = nullptr;
    DWORD rc = NotifyAddrChange(&notify, &overlapped);
    if (rc != ERROR_IO_PENDING && rc != NO_ERROR) return;
    if (!RegisterWaitForSingleObject(&wait, event.get(), Signalled, this, INFINITE, WT_EXECUTEONLYONCE)) wait = nullptr;
}

void AddressWatch::Stop() {
    if (!event) return;
    // Without waiting for a callback that may be running: it only posts to
    // the window's handle, which fails harmlessly once the window is gone,
    // and the watch itself lives as long as the program.
    if (wait) UnregisterWaitEx(wait, nullptr);
    wait = nullptr;
    UniqueModule iphlpapi(LoadSystemLibrary("iphlpapi.dll"));
    auto cancel = iphlpapi ? reinterpret_cast<CancelIPChangeNotifyFn>(
                                 reinterpret_cast<void*>(GetProcAddress(iphlpapi.get(), "CancelIPChangeNotify")))
                           : nullptr;
    if (cancel) cancel(&overlapped);
    event.reset();
    notify = nullptr;
}

void CALLBACK AddressWatch::Signalled(void* self, BOOLEAN) {
    auto* watch = static_cast<AddressWatch*>(self);
    PostMessageA(watch->window, watch->message, 0, 0);
}

}  // namespace holv
