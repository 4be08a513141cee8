// The host's IPv4 route table as the route set sees it. The route set only
// asks through this interface, so tests give it a table they control and
// never change the machine's own routes; the Windows implementation calls IP
// Helper and the DNS client.
#pragma once
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace holv {

// One row of the IPv4 forward table; addresses in network order. Mirrors the
// system's row so the Windows side copies it field by field.
struct ForwardRow {
    uint32_t destination = 0;
    uint32_t mask = 0;
    uint32_t policy = 0;
    uint32_t nextHop = 0;
    uint32_t ifIndex = 0;
    uint32_t type = 0;   // 3 direct, 4 indirect
    uint32_t proto = 0;  // 3 network management
    uint32_t age = 0;
    uint32_t nextHopAs = 0;
    uint32_t metric[5] = {};
};

inline constexpr uint32_t kRouteTypeDirect = 3;
inline constexpr uint32_t kRouteTypeIndirect = 4;
inline constexpr uint32_t kRouteProtoNetMgmt = 3;
inline constexpr uint32_t kUnusedMetric = 0xFFFFFFFFu;

// The system's resolver-cache flush, held for as long as its owner lives.
class ResolverFlush {
public:
    virtual ~ResolverFlush() = default;
    virtual void Flush() = 0;
};

class RouteSystem {
public:
    virtual ~RouteSystem() = default;
    // Results are Windows error codes, 0 on success.
    virtual int GetBestInterface(uint32_t destination, uint32_t* ifIndex) = 0;
    virtual int GetForwardTable(std::vector<ForwardRow>& rows) = 0;
    // A count that moves whenever the system reports a change to its route
    // table; one that moves on every call where it reports none, so the
    // table is then read at every step.
    virtual uint32_t RouteChanges() = 0;
    virtual int CreateForwardEntry(const ForwardRow& row) = 0;
    virtual int DeleteForwardEntry(const ForwardRow& row) = 0;
    virtual int SetForwardEntry(const ForwardRow& row) = 0;
    // The IPv4 metric of an interface; none when the system cannot say.
    virtual std::optional<uint32_t> GetInterfaceMetric(uint32_t ifIndex) = 0;
    virtual int GetMajorVersion() = 0;
    // Runs a command line, waits for it without limit, no console window;
    // its exit code, or the error when it could not be started.
    virtual int RunCommandLine(const char* commandLine) = 0;
    // Null when the system has no resolver-cache flush.
    virtual std::unique_ptr<ResolverFlush> OpenResolverFlush() = 0;
    // Milliseconds on a clock that only moves forward: paces the retries of
    // routes the system refused.
    virtual uint64_t NowMs() = 0;
    // The system's own words for an error code, on one line.
    virtual std::string ErrorText(int code) = 0;
    // Tells the administrator of a change to the table that failed (`what`
    // the route set was doing: "adding", "removing" ...), or with `undo` of
    // one that could not be taken back. Not on every step: the route set
    // reports a refusal when it starts or its reason changes.
    virtual void ReportFailure(bool undo, const char* what, const ForwardRow& row, int error) = 0;
};

// Windows build: the route system every RouteSet made from now on uses. It
// is the system's own unless a test has put in another; the previous one is
// returned (null puts the system's own back).
RouteSystem& ActiveRouteSystem();
RouteSystem* ReplaceRouteSystem(RouteSystem* system);

}  // namespace holv
