// The route system of Windows: IP Helper for the IPv4 route table, the DNS
// client for the resolver-cache flush.
// The order of these headers matters and is not alphabetical.
// clang-format off
#include <winsock2.h>
// winsock2.h before windows.h,
#include <windows.h>
// ws2ipdef.h before the IP Helper headers, which hide the interface row
// without it.
#include <ws2ipdef.h>
#include <iphlpapi.h>
#include <netioapi.h>
// clang-format on

#include <atomic>

#include "base/Address.h"
#include "base/ErrorText.h"
#include "base/EventLog.h"
#include "base/SystemFolder.h"
#include "base/SystemVersion.h"
#include "base/Text.h"
#include "base/Unique.h"
#include "host/ProcessLaunch.h"
#include "session/RouteSystem.h"

namespace holv {
namespace {

// The table can grow between the size query and the read; a few rounds are
// enough, and a table that keeps growing counts as unreadable.
constexpr int kTableReadAttempts = 8;

using GetIpInterfaceEntryFn = DWORD(WINAPI*)(MIB_IPINTERFACE_ROW*);
using NotifyRouteChange2Fn = DWORD(WINAPI*)(ADDRESS_FAMILY, PIPFORWARD_CHANGE_CALLBACK, PVOID, BOOLEAN, HANDLE*);
using CancelMibChangeNotify2Fn = DWORD(WINAPI*)(HANDLE);
using DnsFlushResolverCacheFn = BOOL(WINAPI*)();

MIB_IPFORWARDROW ToSystemRow(const ForwardRow& r) {
    MIB_IPFORWARDROW row{};
    row.dwForwardDest = r.destination;
    row.dwForwardMask = r.mask;
    row.dwForwardPolicy = r.policy;
    row.dwForwardNextHop = r.nextHop;
    row.dwForwardIfIndex = r.ifIndex;
    row.dwForwardType = r.type;
    row.dwForwardProto = r.proto;
    row.dwForwardAge = r.age;
    row.dwForwardNextHopAS = r.nextHopAs;
    row.dwForwardMetric1 = r.metric[0];
    row.dwForwardMetric2 = r.metric[1];
    row.dwForwardMetric3 = r.metric[2];
    row.dwForwardMetric4 = r.metric[3];
    row.dwForwardMetric5 = r.metric[4];
    return row;
}

ForwardRow FromSystemRow(const MIB_IPFORWARDROW& row) {
    ForwardRow r;
    r.destination = row.dwForwardDest;
    r.mask = row.dwForwardMask;
    r.policy = row.dwForwardPolicy;
    r.nextHop = row.dwForwardNextHop;
    r.ifIndex = row.dwForwardIfIndex;
    r.type = row.dwForwardType;
    r.proto = row.dwForwardProto;
    r.age = row.dwForwardAge;
    r.nextHopAs = row.dwForwardNextHopAS;
    r.metric[0] = row.dwForwardMetric1;
    r.metric[1] = row.dwForwardMetric2;
    r.metric[2] = row.dwForwardMetric3;
    r.metric[3] = row.dwForwardMetric4;
    r.metric[4] = row.dwForwardMetric5;
    return r;
}

class DnsResolverFlush : public ResolverFlush {
public:
    DnsResolverFlush(UniqueModule module, DnsFlushResolverCacheFn flush) : module_(std::move(module)), flush_(flush) {}
    void Flush() override { flush_(); }

private:
    UniqueModule module_;  // keeps flush_ valid
    DnsFlushResolverCacheFn flush_;
};

// Counts the system's notices of route-table changes. The callback runs on a
// thread-pool thread and only counts; the session reads the count. Looked
// up at run time: without it (older systems) every call counts as a change,
// so the table is read at every step as before.
class RouteChangeWatch {
public:
    RouteChangeWatch() {
        HMODULE iphlpapi = GetModuleHandleA("iphlpapi.dll");
        if (!iphlpapi) return;
        auto notify = reinterpret_cast<NotifyRouteChange2Fn>(
            reinterpret_cast<void*>(GetProcAddress(iphlpapi, "NotifyRouteChange2")));
        cancel_ = reinterpret_cast<CancelMibChangeNotify2Fn>(
            reinterpret_cast<void*>(GetProcAddress(iphlpapi, "CancelMibChangeNotify2")));
        if (notify && cancel_ && notify(AF_INET, &Changed, this, FALSE, &handle_) == NO_ERROR) watching_ = true;
    }
    ~RouteChangeWatch() {
        if (watching_) cancel_(handle_);  // waits for a callback under way
    }
    RouteChangeWatch(const RouteChangeWatch&) = delete;
    RouteChangeWatch& operator=(const RouteChangeWatch&) = delete;

    uint32_t Changes() { return watching_ ? count_.load() : ++unwatched_; }

private:
    static VOID WINAPI Changed(PVOID context, PMIB_IPFORWARD_ROW2, MIB_NOTIFICATION_TYPE) {
        static_cast<RouteChangeWatch*>(context)->count_.fetch_add(1);
    }

    std::atomic<uint32_t> count_{0};
    uint32_t unwatched_ = 0;
    HANDLE handle_ = nullptr;
    CancelMibChangeNotify2Fn cancel_ = nullptr;
    bool watching_ = false;
};

class WindowsRouteSystem : public RouteSystem {
public:
    int GetBestInterface(uint32_t destination, uint32_t* ifIndex) override {
        DWORD index = 0;
        DWORD rc = ::GetBestInterface(destination, &index);
        if (rc == NO_ERROR) *ifIndex = index;
        return static_cast<int>(rc);
    }

    int GetForwardTable(std::vector<ForwardRow>& rows) override {
        ULONG size = 0;
        std::vector<unsigned char> buffer;
        DWORD rc = ::GetIpForwardTable(nullptr, &size, FALSE);
        for (int attempt = 0; attempt < kTableReadAttempts && rc == ERROR_INSUFFICIENT_BUFFER; ++attempt) {
            buffer.resize(size > buffer.size() ? size : buffer.size() * 2);
            size = static_cast<ULONG>(buffer.size());
            rc = ::GetIpForwardTable(reinterpret_cast<MIB_IPFORWARDTABLE*>(buffer.data()), &size, FALSE);
        }
        if (rc != NO_ERROR) return static_cast<int>(rc);
        rows.clear();
        if (buffer.size() < sizeof(DWORD)) return 0;  // an empty table needs no buffer
        const auto* table = reinterpret_cast<const MIB_IPFORWARDTABLE*>(buffer.data());
        size_t fits = (buffer.size() - offsetof(MIB_IPFORWARDTABLE, table)) / sizeof(MIB_IPFORWARDROW);
        size_t count = table->dwNumEntries < fits ? table->dwNumEntries : fits;
        rows.reserve(count);
        for (size_t i = 0; i < count; ++i) rows.push_back(FromSystemRow(table->table[i]));
        return 0;
    }

    // Watched from the first question on, for the rest of the run.
    uint32_t RouteChanges() override {
        static RouteChangeWatch watch;
        return watch.Changes();
    }

    int CreateForwardEntry(const ForwardRow& row) override {
        MIB_IPFORWARDROW r = ToSystemRow(row);
        return static_cast<int>(::CreateIpForwardEntry(&r));
    }
    int DeleteForwardEntry(const ForwardRow& row) override {
        MIB_IPFORWARDROW r = ToSystemRow(row);
        return static_cast<int>(::DeleteIpForwardEntry(&r));
    }
    int SetForwardEntry(const ForwardRow& row) override {
        MIB_IPFORWARDROW r = ToSystemRow(row);
        return static_cast<int>(::SetIpForwardEntry(&r));
    }

    // Looked up at run time: older systems do not have it, and then the
    // routes get the lowest metric base.
    std::optional<uint32_t> GetInterfaceMetric(uint32_t ifIndex) override {
        HMODULE iphlpapi = GetModuleHandleA("iphlpapi.dll");
        if (!iphlpapi) return std::nullopt;
        auto query = reinterpret_cast<GetIpInterfaceEntryFn>(
            reinterpret_cast<void*>(GetProcAddress(iphlpapi, "GetIpInterfaceEntry")));
        if (!query) return std::nullopt;
        MIB_IPINTERFACE_ROW row{};
        row.Family = AF_INET;
        row.InterfaceIndex = ifIndex;
        if (query(&row) != NO_ERROR) return std::nullopt;
        return row.Metric;
    }

    int GetMajorVersion() override { return static_cast<int>(SystemVersion().dwMajorVersion); }

    int RunCommandLine(const char* commandLine) override {
        return RunCommand(kWaitForever, CREATE_NO_WINDOW, "%s", commandLine);
    }

    std::unique_ptr<ResolverFlush> OpenResolverFlush() override {
        UniqueModule dnsapi(LoadSystemLibrary("dnsapi.dll"));
        if (!dnsapi) return nullptr;
        auto flush = reinterpret_cast<DnsFlushResolverCacheFn>(
            reinterpret_cast<void*>(GetProcAddress(dnsapi.get(), "DnsFlushResolverCache")));
        if (!flush) return nullptr;
        return std::make_unique<DnsResolverFlush>(std::move(dnsapi), flush);
    }

    uint64_t NowMs() override { return GetTickCount64(); }

    // Line breaks inside the text would break the Status box's list.
    std::string ErrorText(int code) override {
        std::string text = holv::ErrorText(code);
        for (char& c : text)
            if (c == '\r' || c == '\n') c = ' ';
        while (!text.empty() && text.back() == ' ') text.pop_back();
        return text;
    }

    // Once a run for each failure and reason, however often it recurs.
    void ReportFailure(bool undo, const char* what, const ForwardRow& row, int error) override {
        static EventOnce once;
        char destination[16], mask[16], detail[120];
        FormatIpv4(destination, sizeof destination, row.destination);
        FormatIpv4(mask, sizeof mask, row.mask);
        FormatText(detail, sizeof detail, "%s the route to %s mask %s (error %d)", what, destination, mask, error);
        if (once.First(detail)) ReportHolvEvent(undo ? HolvEvent::HostUndoFailed : HolvEvent::HostChangeFailed, detail);
    }
};

WindowsRouteSystem& SystemRoutes() {
    static WindowsRouteSystem system;
    return system;
}

RouteSystem*& ActivePointer() {
    static RouteSystem* active = nullptr;
    return active;
}

}  // namespace

RouteSystem& ActiveRouteSystem() {
    RouteSystem* active = ActivePointer();
    return active ? *active : SystemRoutes();
}

RouteSystem* ReplaceRouteSystem(RouteSystem* system) {
    RouteSystem* previous = ActivePointer();
    ActivePointer() = system;
    return previous;
}

}  // namespace holv
