// The route set against a route table the test controls: which routes it
// creates, keeps, deletes and never touches, the broadcast entry, the
// resolver-cache flush, and bad lists from the appliance.
#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <string>
#include <vector>

#include "session/FakeRouteSystem.h"
#include "session/RouteSet.h"

using namespace holv;
using namespace holv::test;

namespace {

constexpr uint8_t kMac[6] = {0x00, 0x0C, 0x29, 0x12, 0x34, 0x56};
constexpr uint32_t kApplianceIf = 7;

class RouteSetTest : public ::testing::Test {
protected:
    void SetUp() override {
        // The PC's own LAN with its gateway, the appliance's host-only
        // network, loopback, and the appliance interface's broadcast route.
        system.table.push_back(FakeRouteSystem::SystemRoute("0.0.0.0", "0.0.0.0", "192.168.1.1", 3));
        system.table.push_back(FakeRouteSystem::SystemRoute("192.168.1.0", "255.255.255.0", "192.168.1.20", 3));
        system.table.push_back(FakeRouteSystem::SystemRoute("192.168.56.0", "255.255.255.0", "192.168.56.1", 7));
        system.table.push_back(FakeRouteSystem::SystemRoute("127.0.0.0", "255.0.0.0", "127.0.0.1", 1));
        ForwardRow broadcast = FakeRouteSystem::SystemRoute("255.255.255.255", "255.255.255.255", "192.168.56.1", 7);
        broadcast.type = 3;
        broadcast.metric[0] = 276;
        system.table.push_back(broadcast);
        ForwardRow otherBroadcast = broadcast;
        otherBroadcast.ifIndex = 3;
        otherBroadcast.nextHop = Ip("192.168.1.20");
        otherBroadcast.metric[0] = 281;
        system.table.push_back(otherBroadcast);
        systemRows = system.table;
        set = std::make_unique<RouteSet>(system);
    }

    void Install(const std::string& list0, const std::string& list1 = "0000", uint32_t gateway = Ip("192.168.56.101"),
                 bool mayRunCommands = true) {
        lists.lists[0] = list0;
        lists.lists[1] = list1;
        set->InstallRoutes(gateway, kMac, mayRunCommands, lists);
    }

    // The system's own rows are all still there, unchanged (metrics aside
    // for the broadcast rows, which the caller checks).
    void ExpectSystemRowsUntouched() {
        for (const ForwardRow& own : systemRows) {
            bool found = false;
            for (const ForwardRow& r : system.table)
                if (FakeRouteSystem::SameRoute(r, own) && r.type == own.type && r.proto == own.proto &&
                    r.metric[0] == own.metric[0])
                    found = true;
            EXPECT_TRUE(found) << "system row to " << NetToHost32(own.destination) << " changed or gone";
        }
    }

    // What the set says it owns is exactly what goes through the appliance.
    void ExpectTableMatchesInstalled(uint32_t gateway = Ip("192.168.56.101")) {
        std::vector<RoutePair> owned;
        for (const RoutePair& p : set->Installed())
            if (!(p == kBroadcastPair)) owned.push_back(p);
        EXPECT_EQ(system.RoutesThrough(gateway), owned);
    }

    FakeRouteSystem system;
    FakeRouteLists lists;
    std::vector<ForwardRow> systemRows;
    std::unique_ptr<RouteSet> set;
};

TEST_F(RouteSetTest, HostEntriesBecomeHostRoutesThroughTheAppliance) {
    Install("00000a000001c0a80001");
    ASSERT_EQ(system.Count(FakeRouteSystem::Create), 2);
    for (const auto& call : system.calls) {
        EXPECT_EQ(call.row.mask, Ip("255.255.255.255"));
        EXPECT_EQ(call.row.nextHop, Ip("192.168.56.101"));
        EXPECT_EQ(call.row.ifIndex, kApplianceIf);
        EXPECT_EQ(call.row.type, 4u);
        EXPECT_EQ(call.row.proto, 3u);
        EXPECT_EQ(call.row.metric[0], 21u);  // interface metric 20 + 1
        for (int i = 1; i < 5; ++i) EXPECT_EQ(call.row.metric[i], 0xFFFFFFFFu);
    }
    EXPECT_EQ(set->Installed(), (std::vector<RoutePair>{Pair("10.0.0.1"), Pair("192.168.0.1")}));
    EXPECT_EQ(system.flushes, 1);
    ExpectTableMatchesInstalled();
    ExpectSystemRowsUntouched();
    // Both lists were asked of the appliance by its MAC.
    EXPECT_EQ(lists.reads, 2);
    EXPECT_EQ(std::vector<uint8_t>(lists.lastMac, lists.lastMac + 6), std::vector<uint8_t>(kMac, kMac + 6));
}

TEST_F(RouteSetTest, NetworkEntriesAndASteadyListChangeNothing) {
    Install("01000a010000ffff0000");
    EXPECT_EQ(system.PairsOf(FakeRouteSystem::Create), (std::vector<RoutePair>{Pair("10.1.0.0", "255.255.0.0")}));
    system.ForgetCalls();
    for (int step = 0; step < 3; ++step) Install("01000a010000ffff0000");
    EXPECT_TRUE(system.calls.empty());
    EXPECT_EQ(system.flushes, 0);
    EXPECT_EQ(set->Installed(), (std::vector<RoutePair>{Pair("10.1.0.0", "255.255.0.0")}));
}

TEST_F(RouteSetTest, MetricBaseIsZeroWhenTheInterfaceMetricIsUnknown) {
    system.interfaceMetric.reset();
    Install("00000a000001");
    ASSERT_EQ(system.Count(FakeRouteSystem::Create), 1);
    EXPECT_EQ(system.calls[0].row.metric[0], 1u);
}

TEST_F(RouteSetTest, ARouteTheSystemHadIsNeverTouchedNorOwned) {
    // The PC's LAN, its gateway's address (a next hop), and one new network.
    Install("0100c0a80100ffffff00c0a80101ffffffff0a010000ffff0000");
    EXPECT_EQ(system.PairsOf(FakeRouteSystem::Create), (std::vector<RoutePair>{Pair("10.1.0.0", "255.255.0.0")}));
    EXPECT_EQ(set->Installed(), (std::vector<RoutePair>{Pair("10.1.0.0", "255.255.0.0")}));
    // Dropped again by the appliance: still not touched.
    system.ForgetCalls();
    Install("01000a010000ffff0000");
    EXPECT_TRUE(system.calls.empty());
    Install("0000");
    EXPECT_EQ(system.PairsOf(FakeRouteSystem::Delete), (std::vector<RoutePair>{Pair("10.1.0.0", "255.255.0.0")}));
    set->RemoveAllRoutes();
    EXPECT_EQ(system.Count(FakeRouteSystem::Delete), 1);
    ExpectSystemRowsUntouched();
    // Nor by the set's end.
    set.reset();
    ExpectSystemRowsUntouched();
}

TEST_F(RouteSetTest, AnInvalidListCountsAsEmpty) {
    Install("00000a000001", "0100ac100000fff00000");
    ASSERT_EQ(set->Installed().size(), 2u);
    system.ForgetCalls();
    // List 1 now carries an upper-case digit: only its route goes.
    Install("00000a000001", "0100AC100000FFF00000");
    EXPECT_EQ(system.PairsOf(FakeRouteSystem::Delete), (std::vector<RoutePair>{Pair("172.16.0.0", "255.240.0.0")}));
    EXPECT_EQ(system.Count(FakeRouteSystem::Create), 0);
    EXPECT_EQ(set->Installed(), (std::vector<RoutePair>{Pair("10.0.0.1")}));
    // A length that does not fit the entry size: list 0 is empty too.
    Install("00000a0000011", "0000");
    EXPECT_TRUE(set->Installed().empty());
    ExpectTableMatchesInstalled();
}

TEST_F(RouteSetTest, APairListedTwiceIsInstalledOnce) {
    Install("00000a0000010a000001", "01000a000001ffffffff");
    EXPECT_EQ(system.Count(FakeRouteSystem::Create), 1);
    EXPECT_EQ(set->Installed(), (std::vector<RoutePair>{Pair("10.0.0.1")}));
    set->RemoveAllRoutes();
    EXPECT_EQ(system.Count(FakeRouteSystem::Delete), 1);
}

TEST_F(RouteSetTest, AGatewayChangeRecreatesAllRoutesOnTheSameStep) {
    Install("00000a000001c0a80001");
    system.ForgetCalls();
    system.bestInterface = 9;
    Install("00000a000001c0a80001", "0000", Ip("10.20.0.2"));
    ASSERT_EQ(system.Count(FakeRouteSystem::Delete), 2);
    ASSERT_EQ(system.Count(FakeRouteSystem::Create), 2);
    // Deleted through the old gateway and interface, created through the new.
    for (size_t i = 0; i < 2; ++i) {
        EXPECT_EQ(system.calls[i].kind, FakeRouteSystem::Delete);
        EXPECT_EQ(system.calls[i].row.nextHop, Ip("192.168.56.101"));
        EXPECT_EQ(system.calls[i].row.ifIndex, kApplianceIf);
        EXPECT_EQ(system.calls[2 + i].kind, FakeRouteSystem::Create);
        EXPECT_EQ(system.calls[2 + i].row.nextHop, Ip("10.20.0.2"));
        EXPECT_EQ(system.calls[2 + i].row.ifIndex, 9u);
    }
    EXPECT_TRUE(system.RoutesThrough(Ip("192.168.56.101")).empty());
    ExpectTableMatchesInstalled(Ip("10.20.0.2"));
    // Removal of everything flushed, and so did the new set of routes.
    EXPECT_EQ(system.flushes, 2);
}

TEST_F(RouteSetTest, FlushesOnlyWhenTheCountChanges) {
    Install("00000a000001c0a80001");
    EXPECT_EQ(system.flushes, 1);
    // One route exchanged for another: same count, no flush.
    system.ForgetCalls();
    Install("00000a000002c0a80001");
    EXPECT_EQ(system.Count(FakeRouteSystem::Delete), 1);
    EXPECT_EQ(system.Count(FakeRouteSystem::Create), 1);
    EXPECT_EQ(system.flushes, 0);
    // One route fewer: a flush.
    Install("00000a000002");
    EXPECT_EQ(system.flushes, 1);
    // The list becomes empty: routes go without a flush.
    system.ForgetCalls();
    Install("0000");
    EXPECT_EQ(system.Count(FakeRouteSystem::Delete), 1);
    EXPECT_EQ(system.flushes, 0);
    // RemoveAllRoutes flushes when there was something, and only then.
    Install("00000a000002");
    system.ForgetCalls();
    set->RemoveAllRoutes();
    EXPECT_EQ(system.flushes, 1);
    set->RemoveAllRoutes();
    EXPECT_EQ(system.flushes, 1);
    EXPECT_EQ(system.Count(FakeRouteSystem::Delete), 1);
}

TEST_F(RouteSetTest, WithoutAFlushTheRoutesStillWork) {
    system.hasFlush = false;
    set = std::make_unique<RouteSet>(system);
    Install("00000a000001");
    EXPECT_EQ(set->Installed().size(), 1u);
    set->RemoveAllRoutes();
    EXPECT_EQ(system.flushes, 0);
    EXPECT_TRUE(system.RoutesThrough(Ip("192.168.56.101")).empty());
}

TEST_F(RouteSetTest, AFailedReadLeavesTheRoutesAsTheyAre) {
    Install("00000a000001c0a80001");
    system.ForgetCalls();
    for (int failing : {0, 1}) {
        lists.failing = failing;
        Install("0000", "0000");
        EXPECT_TRUE(system.calls.empty());
        EXPECT_EQ(set->Installed().size(), 2u);
    }
}

TEST_F(RouteSetTest, ARouteThatCannotBeCreatedIsNotOwnedAndTriedAgain) {
    system.refusedDestinations.insert(Ip("10.0.0.1"));
    Install("00000a000001c0a80001");
    EXPECT_EQ(set->Installed(), (std::vector<RoutePair>{Pair("192.168.0.1")}));
    system.refusedDestinations.clear();
    system.ForgetCalls();
    Install("00000a000001c0a80001");
    EXPECT_EQ(system.PairsOf(FakeRouteSystem::Create), (std::vector<RoutePair>{Pair("10.0.0.1")}));
    EXPECT_EQ(set->Installed().size(), 2u);
    EXPECT_EQ(system.flushes, 1);
}

TEST_F(RouteSetTest, WithoutTheSystemTableNothingNewIsCreated) {
    Install("00000a000001");
    system.tableReadable = false;
    system.ForgetCalls();
    // The PC's LAN cannot be told from a new network now: nothing is made,
    // what is owned stays.
    Install("00000a000001", "0100c0a80100ffffff000a630000ffff0000");
    EXPECT_EQ(system.Count(FakeRouteSystem::Create), 0);
    EXPECT_EQ(set->Installed(), (std::vector<RoutePair>{Pair("10.0.0.1")}));
    // With the table back, the LAN is recognised and only the new network
    // is made.
    system.tableReadable = true;
    Install("00000a000001", "0100c0a80100ffffff000a630000ffff0000");
    EXPECT_EQ(system.PairsOf(FakeRouteSystem::Create), (std::vector<RoutePair>{Pair("10.99.0.0", "255.255.0.0")}));
}

TEST_F(RouteSetTest, BroadcastEntryOnANewerSystemSetsTheMetricAndRestoresIt) {
    Install("0000ffffffff0a000001");
    ASSERT_EQ(system.Count(FakeRouteSystem::Set), 1);
    ASSERT_EQ(system.calls.size(), 2u);
    ASSERT_EQ(system.calls[1].kind, FakeRouteSystem::Set);  // after 10.0.0.1, in list order
    const ForwardRow applied = system.calls[1].row;
    EXPECT_EQ(applied.destination, 0xFFFFFFFFu);
    EXPECT_EQ(applied.mask, 0xFFFFFFFFu);
    EXPECT_EQ(applied.nextHop, 0u);
    EXPECT_EQ(applied.type, 3u);
    EXPECT_EQ(applied.proto, 3u);
    EXPECT_EQ(applied.ifIndex, kApplianceIf);
    EXPECT_EQ(applied.metric[0], 21u);
    EXPECT_EQ(system.BroadcastRowOf(kApplianceIf)->metric[0], 21u);
    EXPECT_EQ(system.BroadcastRowOf(3)->metric[0], 281u);  // the LAN's is not ours
    EXPECT_EQ(set->Installed(), (std::vector<RoutePair>{Pair("10.0.0.1"), kBroadcastPair}));
    EXPECT_TRUE(system.commands.empty());

    // Dropped from the list: the metric found at first comes back.
    system.ForgetCalls();
    Install("00000a000001");
    ASSERT_EQ(system.Count(FakeRouteSystem::Set), 1);
    EXPECT_EQ(system.calls[0].row.metric[0], 276u);
    EXPECT_EQ(system.BroadcastRowOf(kApplianceIf)->metric[0], 276u);
    EXPECT_EQ(system.Count(FakeRouteSystem::Delete), 0);  // no real route stood for it

    // Again, and removed with everything else.
    Install("0000ffffffff0a000001");
    EXPECT_EQ(system.BroadcastRowOf(kApplianceIf)->metric[0], 21u);
    set->RemoveAllRoutes();
    EXPECT_EQ(system.BroadcastRowOf(kApplianceIf)->metric[0], 276u);
    ExpectSystemRowsUntouched();
}

TEST_F(RouteSetTest, BroadcastEntryOnAMajorVersion5SystemRunsTheCommand) {
    system.majorVersion = 5;
    Install("0000ffffffff");
    ASSERT_EQ(system.commands.size(), 1u);
    EXPECT_EQ(system.commands[0], "VBoxManage.exe hostifbcmasq \"Holvenstead Adapter\" 192.168.56.1");
    EXPECT_EQ(system.Count(FakeRouteSystem::Set), 0);
    EXPECT_EQ(set->Installed(), (std::vector<RoutePair>{kBroadcastPair}));
    set->RemoveAllRoutes();
    ASSERT_EQ(system.commands.size(), 2u);
    EXPECT_EQ(system.commands[1], "VBoxManage.exe hostifbcmasq \"Holvenstead Adapter\" 0.0.0.0");
    EXPECT_EQ(system.Count(FakeRouteSystem::Set), 0);
    ExpectSystemRowsUntouched();
}

TEST_F(RouteSetTest, BroadcastCommandThatFailsOrHasNoBackendIsNotOwned) {
    system.majorVersion = 5;
    system.commandResult = 1;
    Install("0000ffffffff");
    EXPECT_EQ(system.commands.size(), 1u);
    EXPECT_TRUE(set->Installed().empty());
    system.commandResult = 0;
    system.ForgetCalls();
    Install("0000ffffffff", "0000", Ip("192.168.56.101"), false);
    EXPECT_TRUE(system.commands.empty());
    EXPECT_TRUE(set->Installed().empty());
}

TEST_F(RouteSetTest, TheSavedBroadcastMetricBelongsToItsInterface) {
    Install("0000ffffffff");
    ASSERT_EQ(system.BroadcastRowOf(kApplianceIf)->metric[0], 21u);
    // The appliance moves to the LAN side (interface 3).
    system.bestInterface = 3;
    Install("0000ffffffff", "0000", Ip("192.168.1.50"));
    EXPECT_EQ(system.BroadcastRowOf(kApplianceIf)->metric[0], 276u);
    EXPECT_EQ(system.BroadcastRowOf(3)->metric[0], 21u);
    set->RemoveAllRoutes();
    // Interface 3 gets its own metric back, not interface 7's.
    EXPECT_EQ(system.BroadcastRowOf(3)->metric[0], 281u);
    ExpectSystemRowsUntouched();
}

TEST_F(RouteSetTest, DestructionRemovesEveryInstalledRoute) {
    Install("0000ffffffff0a000001c0a80001", "01000a010000ffff0000");
    ASSERT_EQ(set->Installed().size(), 4u);
    system.ForgetCalls();
    set.reset();
    EXPECT_EQ(system.Count(FakeRouteSystem::Delete), 3);
    EXPECT_EQ(system.Count(FakeRouteSystem::Set), 1);
    EXPECT_EQ(system.flushes, 1);
    EXPECT_TRUE(system.RoutesThrough(Ip("192.168.56.101")).empty());
    ExpectSystemRowsUntouched();
}

TEST_F(RouteSetTest, OverlongListsStayInsideTheBuffer) {
    // The longest host list that fits: 1279 entries, 1024 of them installed.
    std::string longest = "0000";
    char entry[9];
    for (int i = 0; i < 1279; ++i) {
        std::snprintf(entry, sizeof entry, "0b%06x", i);
        longest += entry;
    }
    ASSERT_EQ(longest.size(), 10236u);
    Install(longest, longest);
    EXPECT_EQ(set->Installed().size(), 1024u);
    EXPECT_EQ(system.Count(FakeRouteSystem::Create), 1024);
    ExpectTableMatchesInstalled();

    // Longer than the buffer: 640 network entries make 10244 characters; the
    // 10240 that arrive no longer fit the entry size, so the list counts as
    // empty and what only it asked for goes.
    std::string networks = "0100";
    for (int i = 0; i < 640; ++i) {
        std::snprintf(entry, sizeof entry, "0c%06x", i);
        networks += std::string(entry) + "ffffffff";
    }
    ASSERT_EQ(networks.size(), 10244u);
    system.ForgetCalls();
    Install(networks, "0000");
    EXPECT_TRUE(set->Installed().empty());
    EXPECT_EQ(system.Count(FakeRouteSystem::Delete), 1024);
    EXPECT_EQ(system.Count(FakeRouteSystem::Create), 0);
    ExpectTableMatchesInstalled();
    // Cut to whole entries, all of it is read: 639 routes.
    networks.resize(4 + 639 * 16);
    Install(networks, "0000");
    EXPECT_EQ(set->Installed().size(), 639u);
    ExpectTableMatchesInstalled();

    // A source that claims more than it was given room for, or less than
    // nothing: the length is held to the buffer, whose unused bytes are no
    // list.
    Install("00000a000001");
    ASSERT_EQ(set->Installed().size(), 1u);
    lists.reportedLength = 1 << 30;
    Install("00000a000002", "0000");
    EXPECT_TRUE(set->Installed().empty());
    lists.reportedLength = -5;
    Install("00000a000001");
    EXPECT_TRUE(set->Installed().empty());
    lists.reportedLength.reset();
    Install("00000a000001");
    EXPECT_EQ(set->Installed(), (std::vector<RoutePair>{Pair("10.0.0.1")}));
    ExpectTableMatchesInstalled();
}

TEST_F(RouteSetTest, GarbageFromTheApplianceLeavesTheTableConsistent) {
    std::mt19937 rng(20240613);
    const char alphabet[] = "0123456789abcdef0123456789abcdefF \x00\xff";
    for (int round = 0; round < 300; ++round) {
        std::string text[2];
        for (std::string& t : text) {
            size_t size = rng() % 3 == 0 ? 4 + 8 * (rng() % 6) : rng() % 60;
            for (size_t i = 0; i < size; ++i) t += alphabet[rng() % (sizeof alphabet)];
            if (rng() % 2) t.replace(0, std::min<size_t>(4, t.size()), rng() % 2 ? "0000" : "0100");
        }
        Install(text[0], text[1]);
        ExpectTableMatchesInstalled();
        for (const RoutePair& p : set->Installed())
            EXPECT_TRUE(ContainsRoutePair(CombineRouteLists(text[0], text[1]), p));
    }
    set->RemoveAllRoutes();
    EXPECT_TRUE(system.RoutesThrough(Ip("192.168.56.101")).empty());
    EXPECT_EQ(system.BroadcastRowOf(kApplianceIf)->metric[0], 276u);
    ExpectSystemRowsUntouched();
}

}  // namespace
