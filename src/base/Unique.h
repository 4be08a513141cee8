// Move-only owners for Windows resources: one template, a traits type per
// kind. A copyable owner would close twice; a hand-written close on every path
// leaks on the path someone forgets.
#pragma once
#include <windows.h>
#include <winsock2.h>
// After windows.h, which it builds on.
#include <tlhelp32.h>

#include <utility>

namespace holv {

template <typename Traits>
class Unique {
public:
    using Type = typename Traits::Type;
    Unique() noexcept = default;
    explicit Unique(Type v) noexcept : value_(v) {}
    Unique(const Unique&) = delete;
    Unique& operator=(const Unique&) = delete;
    Unique(Unique&& o) noexcept : value_(o.release()) {}
    Unique& operator=(Unique&& o) noexcept {
        if (this != &o) reset(o.release());
        return *this;
    }
    ~Unique() { reset(); }

    Type get() const noexcept { return value_; }
    explicit operator bool() const noexcept { return value_ != Traits::invalid(); }
    // Releases what is held and hands out the address for an out-parameter.
    Type* put() noexcept {
        reset();
        return &value_;
    }
    Type release() noexcept { return std::exchange(value_, Traits::invalid()); }
    void reset(Type v = Traits::invalid()) noexcept {
        Type old = std::exchange(value_, v);
        if (old != Traits::invalid()) Traits::close(old);
    }

private:
    Type value_ = Traits::invalid();
};

struct HandleTraits {  // kernel objects whose "none" is null
    using Type = HANDLE;
    static Type invalid() { return nullptr; }
    static void close(Type h) { ::CloseHandle(h); }
};
struct FileHandleTraits {  // CreateFile, snapshots: "none" is INVALID_HANDLE_VALUE
    using Type = HANDLE;
    static Type invalid() { return INVALID_HANDLE_VALUE; }
    static void close(Type h) { ::CloseHandle(h); }
};
struct KeyTraits {
    using Type = HKEY;
    static Type invalid() { return nullptr; }
    static void close(Type k) { ::RegCloseKey(k); }
};
struct SocketTraits {
    using Type = SOCKET;
    static Type invalid() { return INVALID_SOCKET; }
    static void close(Type s) { ::closesocket(s); }
};
struct MenuTraits {
    using Type = HMENU;
    static Type invalid() { return nullptr; }
    static void close(Type m) { ::DestroyMenu(m); }
};
struct IconTraits {
    using Type = HICON;
    static Type invalid() { return nullptr; }
    static void close(Type i) { ::DestroyIcon(i); }
};
struct ServiceTraits {
    using Type = SC_HANDLE;
    static Type invalid() { return nullptr; }
    static void close(Type s) { ::CloseServiceHandle(s); }
};
struct ModuleTraits {
    using Type = HMODULE;
    static Type invalid() { return nullptr; }
    static void close(Type m) { ::FreeLibrary(m); }
};
struct LocalTraits {  // blocks from LocalAlloc and the APIs that allocate that way
    using Type = HLOCAL;
    static Type invalid() { return nullptr; }
    static void close(Type p) { ::LocalFree(p); }
};
struct WindowTraits {
    using Type = HWND;
    static Type invalid() { return nullptr; }
    static void close(Type w) { ::DestroyWindow(w); }
};

struct EventSourceTraits {  // RegisterEventSource
    using Type = HANDLE;
    static Type invalid() { return nullptr; }
    static void close(Type h) { ::DeregisterEventSource(h); }
};

struct FindTraits {  // FindFirstFile searches
    using Type = HANDLE;
    static Type invalid() { return INVALID_HANDLE_VALUE; }
    static void close(Type h) { ::FindClose(h); }
};

using UniqueHandle = Unique<HandleTraits>;
using UniqueFile = Unique<FileHandleTraits>;
using UniqueKey = Unique<KeyTraits>;
using UniqueSocket = Unique<SocketTraits>;
using UniqueMenu = Unique<MenuTraits>;
using UniqueIcon = Unique<IconTraits>;
using UniqueService = Unique<ServiceTraits>;
using UniqueModule = Unique<ModuleTraits>;
using UniqueLocal = Unique<LocalTraits>;
using UniqueWindow = Unique<WindowTraits>;
using UniqueFind = Unique<FindTraits>;
using UniqueEventSource = Unique<EventSourceTraits>;

// The socket library, started for as long as the holder lives: every
// successful WSAStartup is matched by one WSACleanup.
class WinsockStartup {
public:
    WinsockStartup() noexcept = default;
    WinsockStartup(const WinsockStartup&) = delete;
    WinsockStartup& operator=(const WinsockStartup&) = delete;
    WinsockStartup(WinsockStartup&& o) noexcept : started_(std::exchange(o.started_, false)) {}
    WinsockStartup& operator=(WinsockStartup&& o) noexcept {
        if (this != &o) {
            reset();
            started_ = std::exchange(o.started_, false);
        }
        return *this;
    }
    ~WinsockStartup() { reset(); }

    // Starts version 2.0 unless started already; true when running.
    bool start() noexcept {
        WSADATA data;
        if (!started_) started_ = ::WSAStartup(MAKEWORD(2, 0), &data) == 0;
        return started_;
    }
    void reset() noexcept {
        if (std::exchange(started_, false)) ::WSACleanup();
    }
    explicit operator bool() const noexcept { return started_; }

private:
    bool started_ = false;
};

// Runs a roll-back unless released: for set-ups of several steps.
template <typename F>
class ScopeGuard {
public:
    explicit ScopeGuard(F f) : f_(std::move(f)) {}
    ScopeGuard(const ScopeGuard&) = delete;
    ScopeGuard& operator=(const ScopeGuard&) = delete;
    ~ScopeGuard() {
        if (armed_) f_();
    }
    void release() { armed_ = false; }

private:
    F f_;
    bool armed_ = true;
};

}  // namespace holv
