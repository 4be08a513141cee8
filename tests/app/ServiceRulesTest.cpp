// The service's status transitions and the bounds of its child's command
// lines, without a service manager (tests/e2e/service runs the real one).
#include <gtest/gtest.h>

#include <string>

#include "app/ServiceRules.h"

using namespace holv;

// A run through the states: each report's state, accepted controls,
// checkpoint and hint; the counter goes on across pending states.
TEST(ServiceStatus, TransitionsCheckpointsAndControls) {
    const struct {
        ServiceState state;
        uint32_t current, controls, checkPoint, waitHint, counterAfter;
    } steps[] = {
        {ServiceStartPending, 2, 0, 1, 3000, 2},  // no stop before the path and arguments are read
        {ServiceStartPending, 2, 0, 2, 3000, 3},  {ServiceRunning, 4, 0x5, 0, 0, 3},
        {ServiceStopPending, 3, 0x5, 3, 3000, 4}, {ServiceStopped, 1, 0x5, 0, 0, 4},
    };
    ServiceStatusRecord r;
    r.win32ExitCode = 1066;
    r.serviceSpecificExitCode = 170;
    uint32_t counter = 1;
    for (const auto& s : steps) {
        SCOPED_TRACE(s.current);
        AdvanceServiceStatus(r, counter, s.state);
        EXPECT_EQ(r.serviceType, 0x110u);
        EXPECT_EQ(r.currentState, s.current);
        EXPECT_EQ(r.controlsAccepted, s.controls);
        EXPECT_EQ(r.checkPoint, s.checkPoint);
        EXPECT_EQ(r.waitHint, s.waitHint);
        EXPECT_EQ(counter, s.counterAfter);
    }
    EXPECT_EQ(r.win32ExitCode, 1066u) << "exit codes are left alone";
    EXPECT_EQ(r.serviceSpecificExitCode, 170u);
}

TEST(ServiceCommandLines, LongestInputsFitAndLongerAreCut) {
    std::string path(259, 'p'), args(259, 'a');
    std::string line = ServiceStopCommandLine(path.c_str(), args.c_str());
    EXPECT_EQ(line.size(), 2 + 259 + 13 + 259u) << "the largest path and arguments need no cut";
    std::string huge(600, 'x');
    EXPECT_EQ(ServiceStartCommandLine(huge.c_str(), "a").size(), 552u);
}
