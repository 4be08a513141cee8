#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "TestAddress.h"
#include "backends/VmwareCommand.h"
#include "base/Address.h"
#include "base/HostAddressCache.h"

using namespace holv;

using holv::test::Ip;

TEST(Address, UsableUnicastAndTheSubnetMatch) {
    for (auto [ip, usable] : {std::pair{0u, false},
                              {Ip(127, 0, 0, 1), false},
                              {Ip(224, 0, 0, 1), false},
                              {Ip(255, 255, 255, 255), false},
                              {Ip(223, 255, 255, 254), true},
                              {Ip(10, 1, 2, 3), true}})
        EXPECT_EQ(IsUsableUnicast(ip), usable) << std::hex << ip;
    // A row whose address is 0.0.0.0 (or loopback) under mask 0 would match
    // everything: only usable host addresses count.
    const uint32_t appliance = Ip(192, 168, 50, 20), mask24 = Ip(255, 255, 255, 0);
    const struct {
        std::vector<HostAddress> rows;
        bool match;
    } cases[] = {
        {{{Ip(192, 168, 50, 1), mask24}}, true},
        {{{Ip(192, 168, 51, 1), mask24}}, false},
        {{{0, 0}}, false},
        {{{Ip(127, 0, 0, 1), 0}}, false},
        {{}, false},
        {{{Ip(127, 0, 0, 1), Ip(255, 0, 0, 0)}, {Ip(192, 168, 0, 9), Ip(255, 255, 0, 0)}}, true},
    };
    for (const auto& c : cases) EXPECT_EQ(HasAddressInSubnet(c.rows, appliance), c.match) << c.rows.size();
    char text[16];
    uint32_t ip = Ip(10, 200, 3, 255);
    FormatIpv4(text, sizeof text, reinterpret_cast<const uint8_t*>(&ip));
    EXPECT_STREQ(text, "10.200.3.255");
}

// The link check's copy of the host's addresses: kept while nothing says it
// changed, read again after a change the watch counted, when forgotten
// (contact lost, resume), and once it is a minute old.
TEST(Address, TheHostAddressCopyIsReadAgainWhenItMayBeOld) {
    const struct {
        bool forget;
        uint32_t changes;
        uint64_t nowMs;
        bool stale;
    } cases[] = {
        {false, 7, 1000, false}, {false, 7, 60999, false}, {false, 7, 61000, true},
        {false, 8, 1001, true},  {false, 7, 999, true},    {true, 7, 1000, true},
    };
    for (const auto& c : cases) {
        HostAddressCache cache;
        EXPECT_TRUE(HostAddressesStale(cache, 0, 0));
        KeepHostAddresses(cache, {{Ip(192, 168, 50, 1), Ip(255, 255, 255, 0)}}, 7, 1000);
        if (c.forget) ForgetHostAddresses(cache);
        EXPECT_EQ(HostAddressesStale(cache, c.changes, c.nowMs), c.stale) << c.changes << " " << c.nowMs;
    }
}

// The association's command made into the command line, for the Player's
// rule and the Workstation's (which puts "-xq " before the quoted path).
TEST(VmwareCommand, AssociationBecomesTheCommandLine) {
    const std::string player239 = std::string(239, 'x') + "vmplayer.exe";   // 251: no room for " \"%s\""
    const std::string ws237 = std::string(237, 'x') + "vmware.exe \"%1\"";  // 252: no room for "-xq "
    const struct {
        const VmwareProgramRule& rule;
        std::string association, path, expected;
    } cases[] = {
        {kPlayerProgram, "\"C:\\P\\vmplayer.exe\" \"%1\"", "C:\\VM\\H.vmx",
         "\"C:\\P\\vmplayer.exe\" \"C:\\VM\\H.vmx\""},
        {kPlayerProgram, "vmplayer.exe %1", "C:\\%s%n.vmx", "vmplayer.exe C:\\%s%n.vmx"},  // the path is no format
        {kPlayerProgram, "C:\\P\\vmplayer.exe", "C:\\VM\\H.vmx", "C:\\P\\vmplayer.exe \"C:\\VM\\H.vmx\""},
        {kPlayerProgram, std::string("vmplayer.exe\0", 13), "a", "vmplayer.exe \"a\""},  // a stored terminator
        {kPlayerProgram, "", "a", ""},
        {kPlayerProgram, "\"C:\\P\\vmware.exe\" \"%1\"", "a", ""},
        {kPlayerProgram, "C:\\P\\VMPLAYER.EXE %1", "a", ""},  // the name is case-sensitive
        {kPlayerProgram, "vmplayer.exe %1 %2", "a", ""},
        {kPlayerProgram, player239, "a", ""},
        {kPlayerProgram, player239.substr(1), "a", player239.substr(1) + " \"a\""},
        {kWorkstationProgram, "\"C:\\W\\vmware.exe\" \"%1\"", "C:\\VM\\H.vmx",
         "\"C:\\W\\vmware.exe\" -xq \"C:\\VM\\H.vmx\""},
        {kWorkstationProgram, "C:\\W\\vmware.exe", "C:\\VM\\H.vmx", "C:\\W\\vmware.exe -xq \"C:\\VM\\H.vmx\""},
        {kWorkstationProgram, "C:\\W\\vmware.exe %1", "a", ""},  // no quoted placeholder to put the options before
        {kWorkstationProgram, std::string(237, 'x') + "vmware.exe", "a", ""},  // 247: no room for " -xq \"%s\""
        {kWorkstationProgram, std::string(236, 'x') + "vmware.exe", "a",
         std::string(236, 'x') + "vmware.exe -xq \"a\""},
        {kWorkstationProgram, ws237, "a", ""},
        {kWorkstationProgram, ws237.substr(1), "a", std::string(236, 'x') + "vmware.exe -xq \"a\""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(VmwareCommandFromAssociation(c.association, c.path, c.rule), c.expected)
            << c.rule.program << ": " << c.association;
    }
}

TEST(VmwareCommand, LogBesideTheConfiguration) {
    EXPECT_EQ(VmwareLogPath("C:\\VMs\\H.vmx"), "C:\\VMs\\vmware.log");
    EXPECT_EQ(VmwareLogPath("H.vmx"), "vmware.log");
}

TEST(VmwareCommand, PidFromTheFirstLogLine) {
    EXPECT_EQ(PidFromLogLine("Dec 06 12:00:00.000: vmx| Log for VMware Player pid=4242 version=1"), 4242u);
    EXPECT_EQ(PidFromLogLine("pid=4242"), 0u);  // the blank before it is part of the marker
    EXPECT_EQ(PidFromLogLine("x pid=abc"), 0u);
    EXPECT_EQ(PidFromLogLine("x pid="), 0u);
    EXPECT_EQ(PidFromLogLine("x pid=99999999999999"), 0u);
    EXPECT_EQ(PidFromLogLine(""), 0u);
}
