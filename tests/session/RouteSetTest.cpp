// The route set against a route table the test controls: which routes it
// creates, keeps, deletes and never touches, the broadcast entry, the
// resolver-cache flush, and bad lists from the appliance. (What the real
// program lists as installed runs end to end in tests/e2e/journal.)
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "session/FakeRouteSystem.h"
#include "session/RouteJournal.h"
#include "session/RouteSet.h"

using namespace holv;
using namespace holv::test;
using Pairs = std::vector<RoutePair>;

namespace {

constexpr uint8_t kMac[6] = {0x00, 0x0C, 0x29, 0x12, 0x34, 0x56};
constexpr uint32_t kApplianceIf = 7;
const uint32_t kGateway = Ip("192.168.56.101");

class RouteSetTest : public ::testing::Test {
protected:
    void SetUp() override {
        // The PC's own LAN with its gateway, the appliance's host-only
        // network, and both interfaces' broadcast routes.
        system.table = {FakeRouteSystem::SystemRoute("0.0.0.0", "0.0.0.0", "192.168.1.1", 3),
                        FakeRouteSystem::SystemRoute("192.168.1.0", "255.255.255.0", "192.168.1.20", 3),
                        FakeRouteSystem::SystemRoute("192.168.56.0", "255.255.255.0", "192.168.56.1", 7),
                        FakeRouteSystem::SystemRoute("255.255.255.255", "255.255.255.255", "192.168.56.1", 7, 3, 276),
                        FakeRouteSystem::SystemRoute("255.255.255.255", "255.255.255.255", "192.168.1.20", 3, 3, 281)};
        set = std::make_unique<RouteSet>(system, &journal);
    }
    void TearDown() override {
        EXPECT_EQ(system.foreignDeletes, 0) << "a route of the system's was deleted";
        set.reset();
        EXPECT_TRUE(journal.notes.empty()) << "a change undone is still noted";
    }

    void Install(const std::string& list0, const std::string& list1 = "0000", uint32_t gateway = kGateway,
                 bool mayRunCommands = true) {
        lists.lists[0] = list0;
        lists.lists[1] = list1;
        set->InstallRoutes(gateway, kMac, mayRunCommands, lists);
    }

    // What the set says it owns is exactly what goes through the appliance.
    void ExpectTableMatchesInstalled(uint32_t gateway = kGateway) {
        Pairs owned;
        for (const RoutePair& p : set->Installed())
            if (!(p == kBroadcastPair)) owned.push_back(p);
        EXPECT_EQ(system.RoutesThrough(gateway), owned);
    }

    FakeRouteSystem system;
    FakeRouteRecord journal;
    FakeRouteLists lists;
    std::unique_ptr<RouteSet> set;
};

TEST_F(RouteSetTest, HostEntriesBecomeHostRoutesThroughTheAppliance) {
    Install("00000a000001c0a80001");
    ASSERT_EQ(system.Count(FakeRouteSystem::Create), 2);
    for (const auto& call : system.calls) {
        EXPECT_EQ(call.row.ifIndex, kApplianceIf);
        EXPECT_EQ(call.row.metric[0], 21u);  // interface metric 20 + 1: behind the interface's own routes
    }
    EXPECT_EQ(set->Installed(), (Pairs{Pair("10.0.0.1"), Pair("192.168.0.1")}));
    EXPECT_EQ(system.flushes, 1);
    ExpectTableMatchesInstalled();
    EXPECT_EQ(lists.mac, std::vector<uint8_t>(kMac, kMac + 6));  // asked of the appliance by its MAC
    // An interface metric that cannot be read gives the lowest base, not the last one.
    system.interfaceMetric.reset();
    system.ForgetCalls();
    Install("00000a000003");
    ASSERT_EQ(system.Count(FakeRouteSystem::Create), 1);
    for (const auto& call : system.calls) {
        if (call.kind == FakeRouteSystem::Create) {
            EXPECT_EQ(call.row.metric[0], 1u);
        }
    }
}

TEST_F(RouteSetTest, ARouteTheSystemHadIsNeverTouchedNorOwned) {
    // The PC's LAN, its gateway's address (a next hop), and one new network.
    Install("0100c0a80100ffffff00c0a80101ffffffff0a010000ffff0000");
    EXPECT_EQ(system.PairsOf(FakeRouteSystem::Create), (Pairs{Pair("10.1.0.0", "255.255.0.0")}));
    EXPECT_EQ(set->Installed(), (Pairs{Pair("10.1.0.0", "255.255.0.0")}));
    // Dropped again by the appliance: still not touched; a steady list changes nothing.
    system.ForgetCalls();
    for (int step = 0; step < 2; ++step) Install("01000a010000ffff0000");
    EXPECT_TRUE(system.calls.empty());
    EXPECT_EQ(system.flushes, 0);
    Install("0000");
    EXPECT_EQ(system.PairsOf(FakeRouteSystem::Delete), (Pairs{Pair("10.1.0.0", "255.255.0.0")}));
    set.reset();
    EXPECT_EQ(system.Count(FakeRouteSystem::Delete), 1);
}

// Each row: a failure of the system or of the appliance's answer, and what
// the set does about it.
TEST_F(RouteSetTest, FailuresLeaveTheTableConsistent) {
    // A failed read of either list: the routes stay as they are.
    Install("00000a000001c0a80001");
    system.ForgetCalls();
    for (int failing : {0, 1}) {
        lists.failing = failing;
        Install("0000", "0000");
        EXPECT_TRUE(system.calls.empty());
        EXPECT_EQ(set->Installed().size(), 2u);
    }
    lists.failing = -1;

    // A route the system refuses is not owned but listed with the system's
    // words, and tried again after 1, 2, 4 ... steps of 5 s, never more than
    // 5 minutes apart; once made it is owned and no longer listed.
    system.refusedDestination = Ip("10.0.0.3");
    std::vector<int> tries;
    for (int step = 0; step < 200; ++step) {
        system.now = 1000000 + step * 5000ull;
        size_t before = system.calls.size();
        Install("00000a000001c0a80001", "00000a000003");
        if (system.calls.size() > before) tries.push_back(step);
    }
    EXPECT_EQ(tries, (std::vector<int>{0, 1, 3, 7, 15, 31, 63, 123, 183}));
    ASSERT_EQ(set->Failed().size(), 1u);
    EXPECT_EQ(set->Failed()[0].pair, Pair("10.0.0.3"));
    EXPECT_EQ(set->Failed()[0].errorText, "error 5");
    EXPECT_EQ(system.reports, std::vector<std::string>{"adding 10.0.0.3 5"});  // told once, not at each try
    EXPECT_EQ(set->Installed().size(), 2u);
    system.refusedDestination = 0;
    system.now += 300000;
    Install("00000a000001c0a80001", "00000a000003");
    EXPECT_EQ(set->Installed().size(), 3u);
    EXPECT_TRUE(set->Failed().empty());

    // A route the journal cannot note is not made (a run ending then would
    // leave it unnoted): listed and told like a refusal, made once it can be.
    journal.refusal = 5;
    system.ForgetCalls();
    system.reports.clear();
    Install("00000a000001c0a800010a000004", "00000a000003");
    EXPECT_EQ(system.Count(FakeRouteSystem::Create), 0);
    ASSERT_EQ(set->Failed().size(), 1u);
    EXPECT_EQ(set->Failed()[0].pair, Pair("10.0.0.4"));
    EXPECT_EQ(system.reports, std::vector<std::string>{"adding 10.0.0.4 5"});
    journal.refusal = 0;
    system.now += 5000;
    Install("00000a000001c0a800010a000004", "00000a000003");
    EXPECT_EQ(set->Installed().size(), 4u);
    ExpectTableMatchesInstalled();

    // Routes the system dropped behind the program's back (a link that went
    // down, a PC that slept) are made again at the next step; one that
    // someone else's route now serves is let go, its note with it.
    std::erase_if(system.table, [](const ForwardRow& r) { return r.nextHop == kGateway; });
    system.table.push_back(FakeRouteSystem::SystemRoute("10.0.0.3", "255.255.255.255", "192.168.1.1", 3));
    Install("00000a000001c0a80001", "00000a000003");
    EXPECT_EQ(set->Installed(), (Pairs{Pair("10.0.0.1"), Pair("192.168.0.1")}));
    ExpectTableMatchesInstalled();
    EXPECT_EQ(journal.notes.size(), 2u);

    // Without the system's table the PC's LAN cannot be told from a new
    // network: nothing is made, what is owned stays.
    Install("00000a000001");
    system.tableReadable = false;
    system.ForgetCalls();
    Install("00000a000001", "0100c0a80100ffffff000a630000ffff0000");
    EXPECT_EQ(system.Count(FakeRouteSystem::Create), 0);
    EXPECT_EQ(set->Installed(), (Pairs{Pair("10.0.0.1")}));
    system.tableReadable = true;
    Install("00000a000001", "0100c0a80100ffffff000a630000ffff0000");
    EXPECT_EQ(system.PairsOf(FakeRouteSystem::Create), (Pairs{Pair("10.99.0.0", "255.255.0.0")}));
    ExpectTableMatchesInstalled();

    // Without a resolver flush the routes still come and go.
    system.hasFlush = false;
    set = std::make_unique<RouteSet>(system);
    Install("00000a000001");
    set->RemoveAllRoutes();
    EXPECT_TRUE(system.RoutesThrough(kGateway).empty());
}

// With the system's change notices, a step reads the table only when it may
// have changed. Each row: what happens before the step, whether the step
// reads the table, and how many routes it makes.
TEST_F(RouteSetTest, TheTableIsReadWhenItMayHaveChanged) {
    system.notices = true;
    auto dropOurs = [&] { std::erase_if(system.table, [](const ForwardRow& r) { return r.nextHop == kGateway; }); };
    const struct {
        const char* what;
        std::function<void()> before;
        bool reads;
        int creates;
    } rows[] = {
        {"the first step", [] {}, true, 1},
        {"after its own change", [] {}, true, 0},
        {"a steady table", [] {}, false, 0},
        {"dropped, and the system tells", [&] { dropOurs(), ++system.changes; }, true, 1},
        {"after its own change", [] {}, true, 0},
        {"dropped without a word", dropOurs, false, 0},
        {"the owner forgets the table (a resume)", [&] { set->ForgetTable(); }, true, 1},
        {"after its own change", [] {}, true, 0},
        {"not yet a minute old", [&] { system.now += 59999; }, false, 0},
        {"a minute old", [&] { system.now += 1; }, true, 0},
    };
    for (const auto& r : rows) {
        r.before();
        system.ForgetCalls();
        int reads = system.tableReads;
        Install("00000a000001");
        EXPECT_EQ(system.tableReads - reads, r.reads ? 1 : 0) << r.what;
        EXPECT_EQ(system.Count(FakeRouteSystem::Create), r.creates) << r.what;
    }
}

TEST_F(RouteSetTest, BroadcastEntryAndAGatewayChange) {
    Install("0000ffffffff0a000001");
    EXPECT_EQ(system.BroadcastMetricOf(kApplianceIf), 21u);
    EXPECT_EQ(system.BroadcastMetricOf(3), 281u);  // the LAN's is not ours
    EXPECT_EQ(set->Installed(), (Pairs{Pair("10.0.0.1"), kBroadcastPair}));
    // Dropped from the list: the metric found at first comes back.
    Install("00000a000001");
    EXPECT_EQ(system.BroadcastMetricOf(kApplianceIf), 276u);
    // Someone put the interface's own metric back: ours again at the next step.
    Install("0000ffffffff0a000001");
    system.table[3].metric[0] = 276;
    Install("0000ffffffff0a000001");
    EXPECT_EQ(system.BroadcastMetricOf(kApplianceIf), 21u);
    // Then the appliance moves to the LAN side (interface 3, another
    // gateway): the routes are made through it on the same step, and each
    // interface gets its own metric back.
    Install("0000ffffffff0a000001");
    system.ForgetCalls();
    system.bestInterface = 3;
    Install("0000ffffffff0a000001", "0000", Ip("192.168.1.50"));
    EXPECT_EQ(system.PairsOf(FakeRouteSystem::Delete), (Pairs{Pair("10.0.0.1")}));  // no real route for broadcast
    EXPECT_TRUE(system.RoutesThrough(kGateway).empty());
    ExpectTableMatchesInstalled(Ip("192.168.1.50"));
    EXPECT_EQ(system.BroadcastMetricOf(kApplianceIf), 276u);
    EXPECT_EQ(system.BroadcastMetricOf(3), 21u);
    set->RemoveAllRoutes();
    EXPECT_EQ(system.BroadcastMetricOf(3), 281u);
}

TEST_F(RouteSetTest, DestructionRemovesEveryInstalledRoute) {
    Install("0000ffffffff0a000001c0a80001", "01000a010000ffff0000");
    ASSERT_EQ(set->Installed().size(), 4u);
    system.ForgetCalls();
    set.reset();
    EXPECT_EQ(system.Count(FakeRouteSystem::Delete), 3);
    EXPECT_EQ(system.BroadcastMetricOf(kApplianceIf), 276u);
    EXPECT_EQ(system.flushes, 1);
    EXPECT_TRUE(system.RoutesThrough(kGateway).empty());
}

// A run killed with two routes and the broadcast metric in place (and an
// older entry, with the process id alone): the next start undoes each entry
// once its run has gone, the metric back to the one before.
TEST_F(RouteSetTest, AKilledRunsJournalIsUndoneOnceItsRunHasGone) {
    Install("0000ffffffff0a000001", "01000a010000ffff0000");
    ForwardRow older = FakeRouteSystem::SystemRoute("10.5.0.0", "255.255.0.0", "192.168.56.101", kApplianceIf);
    std::vector<JournalEntry> left = journal.Entries();
    left.push_back({RouteEntryName(older), RouteEntryName(older) + " 1"});
    std::vector<ForwardRow> table = system.table;
    table.push_back(older);
    const struct {
        JournalOwner live;  // the process now running with id 1
        size_t deletions, resets;
    } rows[] = {{{1, 100}, 0, 0}, {{1, 200}, 2, 1}, {{2, 100}, 3, 1}};
    for (const auto& r : rows) {
        RouteUndoPlan plan =
            PlanRouteUndo(left, table, [&](const JournalOwner& noted) { return SameRun(noted, r.live); });
        EXPECT_EQ(plan.deletions.size(), r.deletions) << r.live.createdAt;
        ASSERT_EQ(plan.resets.size(), r.resets);
        for (const ForwardRow& row : plan.resets) {
            EXPECT_EQ(row.ifIndex, kApplianceIf);
            EXPECT_EQ(row.metric[0], 276u);
        }
        EXPECT_TRUE(plan.dropped.empty());
    }
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
    // A source that claims more than it was given room for, or less than
    // nothing: the length is held to the buffer, whose unused bytes are no list.
    for (int claimed : {1 << 30, -5}) {
        lists.reportedLength = claimed;
        Install("00000a000001");
        EXPECT_TRUE(set->Installed().empty());
    }
    set->RemoveAllRoutes();
    EXPECT_TRUE(system.RoutesThrough(kGateway).empty());
    EXPECT_EQ(system.BroadcastMetricOf(kApplianceIf), 276u);
}

// The journal at the next start: a noted route goes only while the table
// holds it exactly as noted; the same destination through another gateway or
// interface is someone else's and stays. A running run's notes are kept.
TEST_F(RouteSetTest, TheJournalDeletesOnlyRoutesHeldExactlyAsNoted) {
    ForwardRow left = FakeRouteSystem::SystemRoute("10.1.0.0", "255.255.0.0", "192.168.56.101", kApplianceIf);
    left.proto = 3;
    system.table.push_back(left);
    system.table.push_back(FakeRouteSystem::SystemRoute("10.0.0.1", "255.255.255.255", "192.168.56.3", kApplianceIf));
    system.table.push_back(FakeRouteSystem::SystemRoute("10.2.0.0", "255.255.0.0", "192.168.56.101", 9));
    system.table.push_back(FakeRouteSystem::SystemRoute("255.255.255.255", "255.255.255.255", "0.0.0.0", kApplianceIf));
    const std::vector<JournalEntry> entries = {
        {"left", RouteEntryValue(left, JournalOwner{100, 7})},
        {"gateway", "10.0.0.1 255.255.255.255 192.168.56.101 7 100"},
        {"interface", "10.2.0.0 255.255.0.0 192.168.56.101 7 100"},
        {"running", RouteEntryValue(left, JournalOwner{200, 7})},
        {"malformed", "10.1.0.0 255.255.0.0 192.168.56.101 7"},
        {"byte past 255", "10.0.256.0 255.255.0.0 192.168.56.101 7 100"},  // would carry into 10.1.0.0
        {"broadcast metric 9", "9 276 100"},                               // no broadcast route there
    };
    const size_t before = system.table.size();
    RouteUndoPlan plan = PlanRouteUndo(entries, system.table, [](const JournalOwner& o) { return o.processId == 200; });
    for (const ForwardRow& row : plan.deletions) EXPECT_EQ(system.DeleteForwardEntry(row), 0);
    EXPECT_EQ(plan.deleted, std::vector<std::string>{"left"});
    EXPECT_EQ(plan.dropped,
              (std::vector<std::string>{"gateway", "interface", "malformed", "byte past 255", "broadcast metric 9"}));
    EXPECT_TRUE(plan.resets.empty());
    EXPECT_EQ(system.foreignDeletes, 0);
    EXPECT_EQ(system.table.size(), before - 1);
}

}  // namespace
