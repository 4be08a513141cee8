// The benchmark's "before" build of Holvenstead.exe: a session step as it was
// before the program kept copies of what it reads from the system, reading
// the host's addresses (the link check) and the route table (the route set)
// at every step. Linked into that build only: its address copy is always
// stale, standing in for the library's HostAddressCache.cpp (the linker never
// pulls that member), and a route system that reports a change on every
// question is put in front of the system's own before main runs.
#include "base/HostAddressCache.h"
#include "session/RouteSystem.h"

namespace holv {

bool HostAddressesStale(const HostAddressCache&, uint32_t, uint64_t) {
    return true;
}

namespace {

class EveryStepRoutes : public RouteSystem {
public:
    explicit EveryStepRoutes(RouteSystem& system) : inner(system) {}
    uint32_t RouteChanges() override { return ++changes; }

    int GetBestInterface(uint32_t destination, uint32_t* ifIndex) override {
        return inner.GetBestInterface(destination, ifIndex);
    }
    int GetForwardTable(std::vector<ForwardRow>& rows) override { return inner.GetForwardTable(rows); }
    int CreateForwardEntry(const ForwardRow& row) override { return inner.CreateForwardEntry(row); }
    int DeleteForwardEntry(const ForwardRow& row) override { return inner.DeleteForwardEntry(row); }
    int SetForwardEntry(const ForwardRow& row) override { return inner.SetForwardEntry(row); }
    std::optional<uint32_t> GetInterfaceMetric(uint32_t ifIndex) override { return inner.GetInterfaceMetric(ifIndex); }
    int GetMajorVersion() override { return inner.GetMajorVersion(); }
    int RunCommandLine(const char* commandLine) override { return inner.RunCommandLine(commandLine); }
    std::unique_ptr<ResolverFlush> OpenResolverFlush() override { return inner.OpenResolverFlush(); }
    uint64_t NowMs() override { return inner.NowMs(); }
    std::string ErrorText(int code) override { return inner.ErrorText(code); }
    void ReportFailure(bool undo, const char* what, const ForwardRow& row, int error) override {
        inner.ReportFailure(undo, what, row, error);
    }

private:
    RouteSystem& inner;
    uint32_t changes = 0;
};

EveryStepRoutes g_everyStep(ActiveRouteSystem());
const bool g_inFront = (ReplaceRouteSystem(&g_everyStep), true);

}  // namespace
}  // namespace holv
