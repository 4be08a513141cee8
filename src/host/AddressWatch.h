// Tells a window when the host's address list changes, so that the program
// looks at the appliance at once instead of at the next poll. The system
// signals an event; a pool thread only posts the message, and everything
// else happens on the window's thread. A callback may still run after
// Stop: keep the watch for the program's life (a static).
#pragma once
#include <windows.h>

#include "base/Unique.h"

namespace holv {

class AddressWatch {
public:
    AddressWatch() = default;
    ~AddressWatch() { Stop(); }
    AddressWatch(const AddressWatch&) = delete;
    AddressWatch& operator=(const AddressWatch&) = delete;

    // Posts `message` to window at the next change; false when the system
    // offers no watch (the poll then finds changes late).
    bool Start(HWND window, UINT message);
    // After each message: watches for the next change.
    void Rearm();
    // Before the window goes: no message is posted once this returns.
    void Stop();

private:
    static void CALLBACK Signalled(void* self, BOOLEAN timedOut);

    UniqueHandle event;
    HANDLE wait = nullptr;  // the pool's wait on event, one signal long
    HANDLE notify = nullptr;
    OVERLAPPED overlapped{};
    HWND window = nullptr;
    UINT message = 0;
};

}  // namespace holv
