// The service's status transitions, its end after the child, the child
// command lines and the stored arguments, without a service manager.
#include <gtest/gtest.h>

#include <string>

#include "app/ServiceRules.h"

using namespace holv;

TEST(ServiceStatus, StartPendingAcceptsNoControlsAndCountsCheckpoints) {
    ServiceStatusRecord r;
    uint32_t counter = 1;
    AdvanceServiceStatus(r, counter, ServiceStartPending);
    EXPECT_EQ(r.serviceType, 0x110u);
    EXPECT_EQ(r.currentState, 2u);
    EXPECT_EQ(r.controlsAccepted, 0u) << "stop before the path and arguments are read must be refused";
    EXPECT_EQ(r.checkPoint, 1u);
    EXPECT_EQ(r.waitHint, 3000u);
    EXPECT_EQ(counter, 2u);

    AdvanceServiceStatus(r, counter, ServiceStartPending);
    EXPECT_EQ(r.checkPoint, 2u) << "each pending report advances the checkpoint";
    EXPECT_EQ(counter, 3u);
}

TEST(ServiceStatus, SettledStatesClearCheckpointAndHintAndAcceptStopAndShutdown) {
    ServiceStatusRecord r;
    uint32_t counter = 1;
    AdvanceServiceStatus(r, counter, ServiceStartPending);
    AdvanceServiceStatus(r, counter, ServiceRunning);
    EXPECT_EQ(r.currentState, 4u);
    EXPECT_EQ(r.controlsAccepted, 0x1u | 0x4u);
    EXPECT_EQ(r.checkPoint, 0u);
    EXPECT_EQ(r.waitHint, 0u);
    EXPECT_EQ(counter, 2u) << "a settled state takes no checkpoint";

    AdvanceServiceStatus(r, counter, ServiceStopPending);
    EXPECT_EQ(r.currentState, 3u);
    EXPECT_EQ(r.controlsAccepted, 0x5u);
    EXPECT_EQ(r.checkPoint, 2u) << "the counter goes on where start pending left it";
    EXPECT_EQ(r.waitHint, 3000u);

    AdvanceServiceStatus(r, counter, ServiceStopped);
    EXPECT_EQ(r.currentState, 1u);
    EXPECT_EQ(r.checkPoint, 0u);
    EXPECT_EQ(r.waitHint, 0u);
}

TEST(ServiceStatus, ExitCodesAreLeftAlone) {
    ServiceStatusRecord r;
    r.win32ExitCode = 1066;
    r.serviceSpecificExitCode = 170;
    uint32_t counter = 1;
    AdvanceServiceStatus(r, counter, ServiceStopped);
    EXPECT_EQ(r.win32ExitCode, 1066u);
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

TEST(ServiceArguments, StoredValueRules) {
    const char path[] = "C:\\VMs\\Holvenstead.vmx";
    EXPECT_EQ(ServiceArgumentsFromValue(path, sizeof path, true), path);
    EXPECT_EQ(ServiceArgumentsFromValue(path, sizeof path - 1, true), path) << "a value stored without terminator";
    EXPECT_EQ(ServiceArgumentsFromValue(path, sizeof path, false), "") << "not text";
    EXPECT_EQ(ServiceArgumentsFromValue(nullptr, 0, true), "");

    std::string v259(258, 'v');  // 258 characters and the terminator: 259 bytes
    EXPECT_EQ(ServiceArgumentsFromValue(v259.c_str(), v259.size() + 1, true), v259);
    std::string v260(259, 'v');  // 260 bytes with its terminator
    EXPECT_EQ(ServiceArgumentsFromValue(v260.c_str(), v260.size() + 1, true), "")
        << "260 bytes or more: the child uses its default file";

    const char embedded[] = "C:\\a.vmx\0junk";
    EXPECT_EQ(ServiceArgumentsFromValue(embedded, sizeof embedded, true), "C:\\a.vmx");
}

TEST(ServiceBinary, QuotedOnlyWithBlanks) {
    EXPECT_EQ(ServiceBinaryPath("C:\\Holvenstead\\Holvenstead.exe"), "C:\\Holvenstead\\Holvenstead.exe");
    EXPECT_EQ(ServiceBinaryPath("C:\\Program Files\\Holvenstead\\Holvenstead.exe"),
              "\"C:\\Program Files\\Holvenstead\\Holvenstead.exe\"");
}
