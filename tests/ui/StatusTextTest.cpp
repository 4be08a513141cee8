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
    const std::pair<uint32_t, int> rows[] = {
        {Ip(255, 255, 255, 255), 32},
        {Ip(255, 255, 255, 0), 24},
        {Ip(255, 255, 240, 0), 20},
        {Ip(128, 0, 0, 0), 1},
        {0, 0},
        {Ip(255, 0, 255, 0), -1},
        {Ip(0, 0, 0, 255), -1},  // holes: no prefix
    };
    for (auto [mask, length] : rows) EXPECT_EQ(PrefixLength(mask), length) << std::hex << mask;
}

// A running appliance's text: serial number, remote access and routes (a
// mask with holes is shown as such); then a serial "0" and an RK connection
// without trellisport are left out; then the text cut to its buffer.
TEST(StatusText, FullTextAndWhatIsLeftOut) {
    StatusSnapshot s = Running();
    const char tp[] = "tp.example.net", rk[] = "connected";
    s.trellisport = tp;
    s.rkConnection = rk;
    s.routes = {{Ip(10, 1, 2, 3), 0xFFFFFFFFu},
                {Ip(192, 168, 7, 0), Ip(255, 255, 255, 0)},
                {0, 0},
                {Ip(172, 16, 0, 0), Ip(255, 0, 255, 0)}};
    const std::string head = "State: Running\nDevice Name: gw-01\nProduct Name: Appliance 3000\nFirmware: 6.0.1\n";
    const std::string full = head +
                             "Serial No: SN123\nIP Address: 10.88.0.2\n\nTrellisport: tp.example.net\n"
                             "RK Connection: connected\n\nInstalled routes:\n 10.1.2.3\n 192.168.7.0/24\n"
                             " 0.0.0.0/0\n 172.16.0.0/-1";
    EXPECT_EQ(BuildStatusTextFrom(s), full);
    // Routes the system refused follow, each with its words on one line.
    s.failedRoutes = {{{Ip(10, 9, 0, 0), Ip(255, 255, 0, 0)}, 5, "Access is denied.\r\nTry again."},
                      {{Ip(10, 0, 0, 3), 0xFFFFFFFFu}, 87, "The parameter is incorrect."}};
    EXPECT_EQ(BuildStatusTextFrom(s), full +
                                          "\n\nRoutes not installed:\n 10.9.0.0/16: Access is denied.  Try again."
                                          "\n 10.0.0.3: The parameter is incorrect.");
    s.serialNo = "0";
    s.trellisport = nullptr;
    s.routes.clear();
    s.failedRoutes.clear();
    EXPECT_EQ(BuildStatusTextFrom(s), head + "IP Address: 10.88.0.2");
    for (int i = 0; i < 1000; ++i) s.routes.push_back({Ip(10, 0, uint8_t(i >> 8), uint8_t(i)), 0xFFFFFFFFu});
    EXPECT_EQ(BuildStatusTextFrom(s).size(), 4095u);
    EXPECT_EQ(BuildStatusTextFrom(s, 10), "State: Ru");
}

// Each row: the state, the remote-access texts (trellisport, RK), the
// appliance's address, and the tooltip, icon and menu that follow. Without a
// product name the tooltip names the program.
TEST(StatusText, TooltipIconAndMenuPerState) {
    const struct {
        int state;
        const char *tp, *rk, *ip;
        const char* tooltip;
        int icon;
        bool start, stop, browse;
        int defaultCommand;
        unsigned period;
    } rows[] = {
        {3, nullptr, nullptr, "0.0.0.0", "Holvenstead: Stopped", 158, true, false, false, CmdStatus, 0},
        {4, nullptr, nullptr, "0.0.0.0", "Appliance 3000: Starting...", 159, false, true, false, CmdStatus, 5000},
        {2, nullptr, nullptr, "10.0.0.9", "Holvenstead: VMware service not ready", 158, false, false, true, CmdStatus,
         5000},  // not ready, but the appliance's address is known
        {5, nullptr, nullptr, "10.0.0.9", "Appliance 3000: Running\nTP: Disconnected", 155, false, true, true,
         CmdBrowse, 60000},
        {5, "tp", nullptr, "10.0.0.9", "Appliance 3000: Running\nTP: tp", 156, false, true, true, CmdBrowse, 60000},
        {5, "tp", "rk", "10.0.0.9", "Appliance 3000: Running\nRK: rk", 157, false, true, true, CmdBrowse, 60000},
        {5, nullptr, "rk", "10.0.0.9", "Appliance 3000: Running\nRK: rk", 155, false, true, true, CmdBrowse, 60000},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.tooltip);
        StatusSnapshot s = Running();
        s.state = r.state;
        s.trellisport = r.tp;
        s.rkConnection = r.rk;
        s.ipText = r.ip;
        if (r.state < 4) s.productName.clear();  // not yet heard from the appliance
        EXPECT_EQ(BuildTooltipText(s), r.tooltip);
        MenuState m = MenuStateFor(s);
        EXPECT_EQ(m.icon, r.icon);
        EXPECT_EQ(m.startEnabled, r.start);
        EXPECT_EQ(m.stopEnabled, r.stop);
        EXPECT_EQ(m.browseEnabled, r.browse);
        EXPECT_EQ(m.defaultCommand, r.defaultCommand);
        EXPECT_EQ(m.sessionPeriodMs, r.period);
    }
}
