// The routes in the host-change journal (Wine registry, a route table of the
// test's own): noted before they are created, erased once gone; the start-up
// undo deletes what a killed run left, exactly as noted, and nothing of
// anyone else's. Changes HKLM: runs only in a throwaway prefix.
#include <gtest/gtest.h>

#include <new>
#include <string>
#include <vector>

#include "e2e/E2eHarness.h"
#include "session/FakeRouteSystem.h"
#include "session/RouteJournal.h"

namespace holv {
namespace {

using test::FakeRouteSystem;

constexpr char kGateway[] = "192.168.56.101";
constexpr uint8_t kMac[6] = {0x00, 0x0c, 0x29, 0x4e, 0x8a, 0x11};

ForwardRow Row(const char* destination, const char* mask, const char* gateway, uint32_t ifIndex = 7) {
    return FakeRouteSystem::SystemRoute(destination, mask, gateway, ifIndex);
}

std::vector<std::string> Noted() {
    std::vector<std::string> names;
    for (const JournalEntry& e : JournalRead(kRouteJournalSection)) names.push_back(e.name);
    return names;
}

class RouteJournal : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(e2e::InThrowawayPrefix()) << "changes HKLM: run through scripts/wine-fresh.sh";
        RegDeleteTreeA(HKEY_LOCAL_MACHINE, kJournalKey);
        lists.lists[0] = "00000a0000010a000002";                  // two hosts
        lists.lists[1] = "0100c0a80100ffffff000a010000ffff0000";  // the LAN (the system's) and a network
        system.table = {Row("192.168.1.0", "255.255.255.0", "192.168.1.20", 3)};
        system.refusedDestinations = {test::Ip("10.0.0.2")};
    }
    void TearDown() override { RegDeleteTreeA(HKEY_LOCAL_MACHINE, kJournalKey); }

    FakeRouteSystem system;
    test::FakeRouteLists lists;
    const std::vector<std::string> created = {RouteEntryName(Row("10.0.0.1", "255.255.255.255", kGateway)),
                                              RouteEntryName(Row("10.1.0.0", "255.255.0.0", kGateway))};
};

TEST_F(RouteJournal, CreatedRoutesAreNotedUntilRemoved) {
    RouteSet routes(system, &JournalRouteRecord());
    routes.InstallRoutes(test::Ip(kGateway), kMac, true, lists);
    EXPECT_EQ(Noted(), created);  // not the system's LAN, nor the refused 10.0.0.2
    routes.RemoveAllRoutes();
    EXPECT_TRUE(Noted().empty());
}

TEST_F(RouteJournal, KilledRunsRoutesGoAtTheNextStartButNotTheUsers) {
    alignas(RouteSet) unsigned char killed[sizeof(RouteSet)];  // never destroyed: it removes nothing
    (new (killed) RouteSet(system, &JournalRouteRecord()))->InstallRoutes(test::Ip(kGateway), kMac, true, lists);
    ASSERT_EQ(Noted(), created);
    system.table.push_back(Row("10.0.0.1", "255.255.255.255", "192.168.1.1", 3));  // the user's, meanwhile
    system.ForgetCalls();
    UndoJournalRoutes(system);
    EXPECT_EQ(system.PairsOf(FakeRouteSystem::Delete),
              (std::vector<RoutePair>{test::Pair("10.0.0.1"), test::Pair("10.1.0.0", "255.255.0.0")}));
    ASSERT_EQ(system.table.size(), 2u);
    EXPECT_EQ(RouteEntryName(system.table[1]), "10.0.0.1 255.255.255.255 192.168.1.1 3");
    EXPECT_TRUE(Noted().empty());
    EXPECT_EQ(system.flushes, 1);
}

// Entries as they may be found, whoever wrote them: deleted from the table,
// or dropped, or (a running instance's) left alone.
TEST_F(RouteJournal, StartUpUndoDeletesOnlyExactMatches) {
    e2e::ChildProcess live;
    ASSERT_EQ(live.Start(e2e::ProgramPath("session-drive.exe"), "hold C:\\journal-live.marker"), 0u);
    struct Case {
        std::string value;
        bool deleted, staysNoted;
    } cases[] = {
        {"10.1.0.0 255.255.0.0 192.168.56.101 7 4242", true, false},
        {"10.1.0.0 255.255.0.0 192.168.56.102 7 4242", false, false},  // another gateway
        {"10.1.0.0 255.255.0.0 192.168.56.101 8 4242", false, false},  // another interface
        {"10.1.0.0 255.255.255.0 192.168.56.101 7 4242", false, false},
        {"10.9.0.0 255.255.0.0 192.168.56.101 7 4242", false, false},  // not in the table
        {"10.1.0.0 255.255.0.0 192.168.56.101 7", false, false},
        {"10.1.0.0 255.255.0.0 192.168.56.101 7 4242 x", false, false},
        {"10.1.0.256 255.255.0.0 192.168.56.101 7 4242", false, false},
        {"10.01.0.0 255.255.0.0 192.168.56.101 7 4242", false, false},
        {"10.1.0.0  255.255.0.0 192.168.56.101 7 4242", false, false},
        {"10.1.0.0 255.255.0.0 192.168.56.101 4294967296 4242", false, false},
        {"", false, false},
        {"10.1.0.0 255.255.0.0 192.168.56.101 7 " + std::to_string(live.pid()), false, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.value);
        system.table = {Row("10.1.0.0", "255.255.0.0", kGateway), Row("10.1.0.0", "255.255.0.0", "192.168.1.1", 3)};
        system.ForgetCalls();
        ASSERT_EQ(JournalWrite(kRouteJournalSection, "entry", c.value), 0);
        UndoJournalRoutes(system);
        EXPECT_EQ(system.table.size(), c.deleted ? 1u : 2u);
        EXPECT_EQ(Noted().size(), c.staysNoted ? 1u : 0u);
        JournalErase(kRouteJournalSection, "entry");
    }
}

TEST_F(RouteJournal, UnreadableTableOrMissingJournalChangesNothing) {
    UndoJournalRoutes(system);  // no journal key at all
    EXPECT_EQ(system.tableReads, 0);
    ASSERT_EQ(JournalWrite(kRouteJournalSection, "entry", "10.1.0.0 255.255.0.0 192.168.56.101 7 4242"), 0);
    system.tableReadable = false;
    UndoJournalRoutes(system);
    EXPECT_EQ(system.Count(FakeRouteSystem::Delete), 0);
    EXPECT_EQ(Noted().size(), 1u);  // kept for a start that can read the table
}

}  // namespace
}  // namespace holv
