// The one backend without a hypervisor: its state and identity are set by the
// test; Start, Stop and Poll only count their calls (Stop also does the
// clean-up every Stop begins with).
#pragma once
#include "backends/Cvmx.h"

namespace holv::test {

class FakeBackend : public Cvmx {
public:
    FakeBackend() : Cvmx(KindPlayer) {}
    // What the tests set and look at directly.
    using Cvmx::configPath;
    using Cvmx::RegisterHostName;
    using Cvmx::session;
    using Cvmx::state;
    uint8_t (&applianceMac)[6] = session.applianceMac;
    uint32_t& applianceIp = session.applianceIp;
    int& resync = session.resync;
    int Open() override { return 0; }
    int Close() override { return 0; }
    int Prepare() override { return 0; }
    int Release() override { return 0; }
    int Start(int show) override {
        ++starts;
        lastShow = show;
        if (startReaches) state = startReaches;
        return 0;
    }
    int Stop() override {
        ++stops;
        CleanUpHostNetwork();
        state = StateStopped;
        return 0;
    }
    int Poll(int, int converse) override {
        ++polls;
        if (converse) ++converses;
        return state;
    }
    int CheckInstall() override { return 0; }
    int starts = 0, stops = 0, polls = 0, converses = 0, lastShow = -1;
    int startReaches = 0;  // the state a Start reaches (0: unchanged)
};

}  // namespace holv::test
