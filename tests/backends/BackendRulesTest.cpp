#include <gtest/gtest.h>

#include <cstring>

#include "TestAddress.h"
#include "backends/LinkRule.h"
#include "backends/PlayerCommand.h"

using namespace holv;

using holv::test::Ip;

TEST(LinkRule, UsableUnicastExcludesZeroLoopbackAndTop) {
    EXPECT_FALSE(IsUsableUnicast(0));
    EXPECT_FALSE(IsUsableUnicast(Ip(127, 0, 0, 1)));
    EXPECT_FALSE(IsUsableUnicast(Ip(224, 0, 0, 1)));
    EXPECT_FALSE(IsUsableUnicast(Ip(255, 255, 255, 255)));
    EXPECT_TRUE(IsUsableUnicast(Ip(223, 255, 255, 254)));
    EXPECT_TRUE(IsUsableUnicast(Ip(10, 1, 2, 3)));
}

TEST(LinkRule, SubnetMatchNeedsAUsableHostAddress) {
    uint32_t appliance = Ip(192, 168, 50, 20);
    uint32_t mask24 = Ip(255, 255, 255, 0);
    EXPECT_TRUE(HasAddressInSubnet({{Ip(192, 168, 50, 1), mask24}}, appliance));
    EXPECT_FALSE(HasAddressInSubnet({{Ip(192, 168, 51, 1), mask24}}, appliance));
    // A row whose address is 0.0.0.0 under mask 0 would match everything.
    EXPECT_FALSE(HasAddressInSubnet({{0, 0}}, appliance));
    EXPECT_FALSE(HasAddressInSubnet({{Ip(127, 0, 0, 1), 0}}, appliance));
    EXPECT_FALSE(HasAddressInSubnet({}, appliance));
    EXPECT_TRUE(HasAddressInSubnet({{Ip(127, 0, 0, 1), Ip(255, 0, 0, 0)}, {Ip(192, 168, 0, 9), Ip(255, 255, 0, 0)}},
                                   appliance));
}

TEST(LinkRule, DottedText) {
    char text[16];
    uint32_t ip = Ip(10, 200, 3, 255);
    FormatIpv4(text, sizeof text, reinterpret_cast<const uint8_t*>(&ip));
    EXPECT_STREQ(text, "10.200.3.255");
}

TEST(PlayerCommand, PlaceholderBecomesThePath) {
    EXPECT_EQ(PlayerCommandFromAssociation("\"C:\\P\\vmplayer.exe\" \"%1\"", "C:\\VM\\H.vmx"),
              "\"C:\\P\\vmplayer.exe\" \"C:\\VM\\H.vmx\"");
    // A path with '%' is plain text, not a format.
    EXPECT_EQ(PlayerCommandFromAssociation("vmplayer.exe %1", "C:\\%s%n.vmx"), "vmplayer.exe C:\\%s%n.vmx");
}

TEST(PlayerCommand, WithoutPlaceholderTheQuotedPathIsAppended) {
    EXPECT_EQ(PlayerCommandFromAssociation("C:\\P\\vmplayer.exe", "C:\\VM\\H.vmx"),
              "C:\\P\\vmplayer.exe \"C:\\VM\\H.vmx\"");
    // A stored terminator is not part of the command.
    EXPECT_EQ(PlayerCommandFromAssociation(std::string("vmplayer.exe\0", 13), "a"), "vmplayer.exe \"a\"");
}

TEST(PlayerCommand, RejectsWhatIsNoPlayerCommand) {
    EXPECT_EQ(PlayerCommandFromAssociation("", "a"), "");
    EXPECT_EQ(PlayerCommandFromAssociation("\"C:\\P\\vmware.exe\" \"%1\"", "a"), "");
    EXPECT_EQ(PlayerCommandFromAssociation("C:\\P\\VMPLAYER.EXE %1", "a"), "");  // the name is case-sensitive
    EXPECT_EQ(PlayerCommandFromAssociation("vmplayer.exe %1 %2", "a"), "");
    EXPECT_EQ(PlayerCommandFromAssociation("vmplayer.exe %2", "a"), "");
    EXPECT_EQ(PlayerCommandFromAssociation("vmplayer.exe %", "a"), "");
    // No room to append the placeholder within the registry value's 256 bytes.
    std::string longCommand = std::string(239, 'x') + "vmplayer.exe";
    EXPECT_EQ(longCommand.size(), 251u);
    EXPECT_EQ(PlayerCommandFromAssociation(longCommand, "a"), "");
    EXPECT_NE(PlayerCommandFromAssociation(longCommand.substr(1), "a"), "");
}

TEST(PlayerCommand, LogBesideTheConfiguration) {
    EXPECT_EQ(PlayerLogPath("C:\\VMs\\H.vmx"), "C:\\VMs\\vmware.log");
    EXPECT_EQ(PlayerLogPath("H.vmx"), "vmware.log");
}

TEST(PlayerCommand, PidFromTheFirstLogLine) {
    EXPECT_EQ(PidFromLogLine("Dec 06 12:00:00.000: vmx| Log for VMware Player pid=4242 version=1"), 4242u);
    EXPECT_EQ(PidFromLogLine("pid=4242"), 0u);  // the blank before it is part of the marker
    EXPECT_EQ(PidFromLogLine("x pid=abc"), 0u);
    EXPECT_EQ(PidFromLogLine("x pid="), 0u);
    EXPECT_EQ(PidFromLogLine("x pid=99999999999999"), 0u);
    EXPECT_EQ(PidFromLogLine(""), 0u);
}
