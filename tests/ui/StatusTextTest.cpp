#include <gtest/gtest.h>

#include <cstring>

#include "TestAddress.h"
#include "ui/Commands.h"
#include "ui/StatusText.h"

using namespace holv;

using holv::test::Ip;

namespace {

StatusSnapshot Running() {
    StatusSnapshot s;
    s.state = 5;
    s.productName = "Appliance 3000";
    s.hostName = "gw-01";
    s.firmware = "6.0.1";
    s.serialNo = "SN123";
    s.ipText = "10.88.0.2";
    return s;
}

}  // namespace

TEST(StatusText, PrefixLengths) {
    EXPECT_EQ(PrefixLength(Ip(255, 255, 255, 255)), 32);
    EXPECT_EQ(PrefixLength(Ip(255, 255, 255, 0)), 24);
    EXPECT_EQ(PrefixLength(Ip(255, 255, 240, 0)), 20);
    EXPECT_EQ(PrefixLength(Ip(128, 0, 0, 0)), 1);
    EXPECT_EQ(PrefixLength(0), 0);
    EXPECT_EQ(PrefixLength(Ip(255, 0, 255, 0)), -1);
    EXPECT_EQ(PrefixLength(Ip(0, 0, 0, 255)), -1);
}

TEST(StatusText, FullTextWithSerialRemoteAccessAndRoutes) {
    StatusSnapshot s = Running();
    const char tp[] = "tp.example.net", rk[] = "connected";
    s.trellisport = tp;
    s.rkConnection = rk;
    s.routes = {{Ip(10, 1, 2, 3), 0xFFFFFFFFu},
                {Ip(192, 168, 7, 0), Ip(255, 255, 255, 0)},
                {0, 0},
                {Ip(172, 16, 0, 0), Ip(255, 0, 255, 0)}};
    EXPECT_EQ(BuildStatusTextFrom(s),
              "State: Running\nDevice Name: gw-01\nProduct Name: Appliance 3000\nFirmware: 6.0.1\nSerial No: SN123\n"
              "IP Address: 10.88.0.2\n\nTrellisport: tp.example.net\nRK Connection: connected\n\n"
              "Installed routes:\n 10.1.2.3\n 192.168.7.0/24\n 0.0.0.0/0\n 172.16.0.0/-1");
}

TEST(StatusText, SerialZeroAndRkWithoutTrellisportAreLeftOut) {
    StatusSnapshot s = Running();
    s.serialNo = "0";
    const char rk[] = "connected";
    s.rkConnection = rk;
    EXPECT_EQ(BuildStatusTextFrom(s),
              "State: Running\nDevice Name: gw-01\nProduct Name: Appliance 3000\nFirmware: 6.0.1\n"
              "IP Address: 10.88.0.2");
}

TEST(StatusText, CutToItsBuffer) {
    StatusSnapshot s = Running();
    for (int i = 0; i < 1000; ++i) s.routes.push_back({Ip(10, 0, uint8_t(i >> 8), uint8_t(i)), 0xFFFFFFFFu});
    EXPECT_EQ(BuildStatusTextFrom(s).size(), 4095u);
    EXPECT_EQ(BuildStatusTextFrom(s, 10), "State: Ru");
}

TEST(StatusText, TooltipPerState) {
    StatusSnapshot s;
    s.state = 3;
    EXPECT_EQ(BuildTooltipText(s), "Holvenstead: Stopped");
    s.state = 1;
    EXPECT_EQ(BuildTooltipText(s), "Holvenstead: VMware service not ready");
    s = Running();
    EXPECT_EQ(BuildTooltipText(s), "Appliance 3000: Running\nTP: Disconnected");
    const char tp[] = "tp.example.net", rk[] = "rk-link";
    s.trellisport = tp;
    EXPECT_EQ(BuildTooltipText(s), "Appliance 3000: Running\nTP: tp.example.net");
    s.rkConnection = rk;
    EXPECT_EQ(BuildTooltipText(s), "Appliance 3000: Running\nRK: rk-link");
    s.trellisport = nullptr;
    EXPECT_EQ(BuildTooltipText(s), "Appliance 3000: Running\nRK: rk-link");
    s.state = 4;
    EXPECT_EQ(BuildTooltipText(s), "Appliance 3000: Starting...");
}

TEST(StatusText, MenuAndIconPerState) {
    StatusSnapshot s;
    s.ipText = "0.0.0.0";
    s.state = 3;
    MenuState m = MenuStateFor(s);
    EXPECT_EQ(m.icon, 158);
    EXPECT_TRUE(m.startEnabled);
    EXPECT_FALSE(m.stopEnabled);
    EXPECT_FALSE(m.browseEnabled);
    EXPECT_EQ(m.defaultCommand, CmdStatus);
    EXPECT_EQ(m.sessionPeriodMs, 0u);

    s.state = 4;
    m = MenuStateFor(s);
    EXPECT_EQ(m.icon, 159);
    EXPECT_FALSE(m.startEnabled);
    EXPECT_TRUE(m.stopEnabled);
    EXPECT_FALSE(m.browseEnabled);
    EXPECT_EQ(m.sessionPeriodMs, 5000u);

    s.state = 2;
    m = MenuStateFor(s);
    EXPECT_EQ(m.icon, 158);
    EXPECT_FALSE(m.startEnabled || m.stopEnabled || m.browseEnabled);
    EXPECT_EQ(m.sessionPeriodMs, 5000u);
    s.ipText = "10.0.0.9";  // not ready, but the appliance's address is known
    EXPECT_TRUE(MenuStateFor(s).browseEnabled);

    s = Running();
    m = MenuStateFor(s);
    EXPECT_EQ(m.icon, 155);
    EXPECT_FALSE(m.startEnabled);
    EXPECT_TRUE(m.stopEnabled && m.browseEnabled);
    EXPECT_EQ(m.defaultCommand, CmdBrowse);
    EXPECT_EQ(m.sessionPeriodMs, 60000u);
    const char tp[] = "tp", rk[] = "rk";
    s.rkConnection = rk;
    EXPECT_EQ(MenuStateFor(s).icon, 155);
    s.trellisport = tp;
    EXPECT_EQ(MenuStateFor(s).icon, 157);
    s.rkConnection = nullptr;
    EXPECT_EQ(MenuStateFor(s).icon, 156);
}
