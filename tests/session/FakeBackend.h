// A backend without a hypervisor for tests of what the common backend does:
// its state and identity are set by the test; Poll only counts its calls.
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
    int Start(int) override { return 0; }
    // Only the clean-up every Stop begins with.
    int Stop() override {
        CleanUpHostNetwork();
        return 0;
    }
    int Poll(int, int) override {
        ++polls;
        return state;
    }
    int CheckInstall() override { return 0; }
    int polls = 0;
};

}  // namespace holv::test
