// The service's status transitions, its end after the child, the child
// command lines and the stored arguments, without a service manager.
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
        if (s.state != ServiceStopped) EXPECT_EQ(r.controlsAccepted, s.controls);
        EXPECT_EQ(r.checkPoint, s.checkPoint);
        EXPECT_EQ(r.waitHint, s.waitHint);
        EXPECT_EQ(counter, s.counterAfter);
    }
    EXPECT_EQ(r.win32ExitCode, 1066u) << "exit codes are left alone";
    EXPECT_EQ(r.serviceSpecificExitCode, 170u);
}

TEST(ServiceEndRule, ChildExitCodes) {
    ServiceEnd ok = ServiceEndForChildExit(0);
    EXPECT_TRUE(ok.reportStopped);
    EXPECT_EQ(ok.win32ExitCode, 0u);
    EXPECT_EQ(ok.serviceSpecificExitCode, 0u);

    ServiceEnd served = ServiceEndForChildExit(183);
    EXPECT_FALSE(served.reportStopped) << "another instance serves the file: the service stays running";
    EXPECT_EQ(served.win32ExitCode, 0u);

    for (uint32_t code : {170u, 1060u, 2u, 0xC0000005u}) {
        ServiceEnd failed = ServiceEndForChildExit(code);
        EXPECT_TRUE(failed.reportStopped) << code;
        EXPECT_EQ(failed.win32ExitCode, 1066u) << code;
        EXPECT_EQ(failed.serviceSpecificExitCode, code);
    }
}

TEST(ServiceCommandLines, PathQuotedArgumentsTakenWhole) {
    EXPECT_EQ(ServiceStartCommandLine("C:\\Program Files\\H\\Holvenstead.exe", "D:\\My VMs\\Holvenstead.vmx"),
              "\"C:\\Program Files\\H\\Holvenstead.exe\" -start D:\\My VMs\\Holvenstead.vmx");
    EXPECT_EQ(ServiceStopCommandLine("C:\\H\\Holvenstead.exe", "D:\\x.vmx"),
              "\"C:\\H\\Holvenstead.exe\" -stop -exit D:\\x.vmx");
    // No stored path: the child serves the file beside the program.
    EXPECT_EQ(ServiceStartCommandLine("C:\\H\\Holvenstead.exe", ""), "\"C:\\H\\Holvenstead.exe\" -start ");
}

TEST(ServiceCommandLines, LongestInputsFitAndLongerAreCut) {
    std::string path(259, 'p'), args(259, 'a');
    std::string line = ServiceStopCommandLine(path.c_str(), args.c_str());
    EXPECT_EQ(line.size(), 2 + 259 + 13 + 259u) << "the largest path and arguments need no cut";
    std::string huge(600, 'x');
    EXPECT_EQ(ServiceStartCommandLine(huge.c_str(), "a").size(), 552u);
}

TEST(ServiceBinary, QuotedOnlyWithBlanks) {
    EXPECT_EQ(ServiceBinaryPath("C:\\Holvenstead\\Holvenstead.exe"), "C:\\Holvenstead\\Holvenstead.exe");
    EXPECT_EQ(ServiceBinaryPath("C:\\Program Files\\Holvenstead\\Holvenstead.exe"),
              "\"C:\\Program Files\\Holvenstead\\Holvenstead.exe\"");
}
