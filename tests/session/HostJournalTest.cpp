// The host-change journal in the Wine registry: the route set notes each
// route before creating it and erases the note once it is gone; the start-up
// undo deletes what a run that was killed left, exactly as noted and nothing
// of anyone else's; the search list's mark. Changes HKLM: runs only in a
// throwaway prefix (holv_e2e_test).
#include <gtest/gtest.h>

#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "base/RegistryText.h"
#include "e2e/E2eHarness.h"
#include "session/FakeRouteSystem.h"
#include "session/HostJournal.h"
#include "session/RouteJournal.h"
#include "session/SearchList.h"

namespace holv {
namespace {

using test::FakeRouteSystem;
using test::Ip;

constexpr char kGateway[] = "192.168.56.101";
constexpr uint32_t kIf = 7;

ForwardRow Row(const char* destination, const char* mask, const char* gateway, uint32_t ifIndex = kIf) {
    return FakeRouteSystem::SystemRoute(destination, mask, gateway, ifIndex);
}

std::vector<std::string> Names(const char* section) {
    std::vector<std::string> names;
    for (const JournalEntry& e : JournalRead(section)) names.push_back(e.name);
    return names;
}

// The table's rows as entry names: destination, mask, gateway, interface.
std::vector<std::string> TableNames(const FakeRouteSystem& system) {
    std::vector<std::string> names;
    for (const ForwardRow& r : system.table) names.push_back(RouteEntryName(r));
    return names;
}

class HostJournal : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(e2e::InThrowawayPrefix()) << "changes HKLM: run through scripts/wine-fresh.sh";
        RegDeleteTreeA(HKEY_LOCAL_MACHINE, kJournalKey);
    }
    void TearDown() override { RegDeleteTreeA(HKEY_LOCAL_MACHINE, kJournalKey); }

    // A run killed with its routes in place: the route set is never
    // destroyed, so it removes nothing.
    RouteSet& KilledRun(test::FakeRouteLists& lists) {
        auto* routes = new (killedStorage) RouteSet(system, &JournalRouteRecord());
        routes->InstallRoutes(Ip(kGateway), kMac, true, lists);
        return *routes;
    }

    static constexpr uint8_t kMac[6] = {0x00, 0x0c, 0x29, 0x4e, 0x8a, 0x11};
    FakeRouteSystem system;
    alignas(RouteSet) unsigned char killedStorage[sizeof(RouteSet)];
};

TEST_F(HostJournal, KilledRunsRoutesGoAtTheNextStartButNotTheUsers) {
    system.table = {Row("192.168.1.0", "255.255.255.0", "192.168.1.20", 3)};
    test::FakeRouteLists lists;
    lists.lists[0] = "00000a000001";                          // a host route
    lists.lists[1] = "0100c0a80100ffffff000a010000ffff0000";  // the LAN (the system's) and a network
    KilledRun(lists);
    std::vector<std::string> created = {RouteEntryName(Row("10.0.0.1", "255.255.255.255", kGateway)),
                                        RouteEntryName(Row("10.1.0.0", "255.255.0.0", kGateway))};
    ASSERT_EQ(Names(kRouteJournalSection), created);

    // Meanwhile the user routed the same host through a gateway of theirs.
    system.table.push_back(Row("10.0.0.1", "255.255.255.255", "192.168.1.1", 3));
    system.ForgetCalls();
    UndoJournalRoutes(system);
    EXPECT_EQ(system.PairsOf(FakeRouteSystem::Delete),
              (std::vector<RoutePair>{test::Pair("10.0.0.1"), test::Pair("10.1.0.0", "255.255.0.0")}));
    EXPECT_EQ(TableNames(system), (std::vector<std::string>{"192.168.1.0 255.255.255.0 192.168.1.20 3",
                                                            "10.0.0.1 255.255.255.255 192.168.1.1 3"}));
    EXPECT_TRUE(Names(kRouteJournalSection).empty());
    EXPECT_EQ(system.flushes, 1);
}

TEST_F(HostJournal, CleanEndAndRefusedRoutesLeaveNothingNoted) {
    test::FakeRouteLists lists;
    lists.lists[0] = "00000a0000010a000002";
    system.refusedDestinations = {Ip("10.0.0.2")};
    {
        RouteSet routes(system, &JournalRouteRecord());
        routes.InstallRoutes(Ip(kGateway), kMac, true, lists);
        EXPECT_EQ(Names(kRouteJournalSection),
                  (std::vector<std::string>{RouteEntryName(Row("10.0.0.1", "255.255.255.255", kGateway))}));
        routes.RemoveAllRoutes();
        EXPECT_TRUE(Names(kRouteJournalSection).empty());
        routes.InstallRoutes(Ip(kGateway), kMac, true, lists);
    }  // the end of a session removes what is left
    EXPECT_TRUE(system.table.empty());
    EXPECT_TRUE(Names(kRouteJournalSection).empty());
}

// Entries as they may be found, whoever wrote them: what the start-up undo
// deletes from the table and what it leaves noted.
TEST_F(HostJournal, StartUpUndoDeletesOnlyExactMatchesAndDropsTheRest) {
    e2e::ChildProcess live;
    ASSERT_EQ(live.Start(e2e::ProgramPath("session-drive.exe"), "hold C:\\journal-live.marker"), 0u);
    const std::string livePid = std::to_string(live.pid());
    struct Case {
        const char* what;
        std::string value;
        bool deleted;
        bool staysNoted;
    } cases[] = {
        {"exact match", "10.1.0.0 255.255.0.0 192.168.56.101 7 4242", true, false},
        {"another gateway", "10.1.0.0 255.255.0.0 192.168.56.102 7 4242", false, false},
        {"another interface", "10.1.0.0 255.255.0.0 192.168.56.101 8 4242", false, false},
        {"another mask", "10.1.0.0 255.255.255.0 192.168.56.101 7 4242", false, false},
        {"not in the table", "10.9.0.0 255.255.0.0 192.168.56.101 7 4242", false, false},
        {"no process id", "10.1.0.0 255.255.0.0 192.168.56.101 7", false, false},
        {"trailing text", "10.1.0.0 255.255.0.0 192.168.56.101 7 4242 x", false, false},
        {"byte above 255", "10.1.0.256 255.255.0.0 192.168.56.101 7 4242", false, false},
        {"leading zero", "10.01.0.0 255.255.0.0 192.168.56.101 7 4242", false, false},
        {"two blanks", "10.1.0.0  255.255.0.0 192.168.56.101 7 4242", false, false},
        {"interface overflows", "10.1.0.0 255.255.0.0 192.168.56.101 4294967296 4242", false, false},
        {"empty", "", false, false},
        {"a running instance's", "10.1.0.0 255.255.0.0 192.168.56.101 7 " + livePid, false, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        system.table = {Row("10.1.0.0", "255.255.0.0", kGateway), Row("10.1.0.0", "255.255.0.0", "192.168.1.1", 3)};
        system.ForgetCalls();
        ASSERT_EQ(JournalWrite(kRouteJournalSection, "entry", c.value), 0);
        UndoJournalRoutes(system);
        EXPECT_EQ(system.Count(FakeRouteSystem::Delete), c.deleted ? 1 : 0);
        EXPECT_EQ(system.table.size(), c.deleted ? 1u : 2u);
        EXPECT_EQ(Names(kRouteJournalSection).size(), c.staysNoted ? 1u : 0u);
        JournalErase(kRouteJournalSection, "entry");
    }

    // A value of another type reads as empty and is dropped.
    UniqueKey key;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Holvenstead\\Journal\\Routes", 0, nullptr, 0,
                              KEY_SET_VALUE, nullptr, key.put(), nullptr),
              0);
    DWORD number = 7;
    ASSERT_EQ(RegSetValueExA(key.get(), "dword", 0, REG_DWORD, reinterpret_cast<BYTE*>(&number), sizeof number), 0);
    UndoJournalRoutes(system);
    EXPECT_EQ(system.Count(FakeRouteSystem::Delete), 0);
    EXPECT_TRUE(Names(kRouteJournalSection).empty());
}

TEST_F(HostJournal, UnreadableTableOrMissingJournalChangesNothing) {
    system.table = {Row("10.1.0.0", "255.255.0.0", kGateway)};
    UndoJournalRoutes(system);  // no journal key at all
    EXPECT_EQ(system.tableReads, 0);

    ASSERT_EQ(JournalWrite(kRouteJournalSection, "entry", "10.1.0.0 255.255.0.0 192.168.56.101 7 4242"), 0);
    system.tableReadable = false;
    UndoJournalRoutes(system);
    EXPECT_EQ(system.Count(FakeRouteSystem::Delete), 0);
    EXPECT_EQ(Names(kRouteJournalSection).size(), 1u);  // kept for a start that can read the table
}

TEST_F(HostJournal, TextIsCutNeverRejected) {
    std::string longName(300, 'n'), longValue(2000, 'v');
    ASSERT_EQ(JournalWrite("Test", longName.c_str(), longValue), 0);
    std::vector<JournalEntry> read = JournalRead("Test");
    ASSERT_EQ(read.size(), 1u);
    EXPECT_EQ(read[0].name, longName.substr(0, kJournalNameMax));
    EXPECT_EQ(read[0].value, longValue.substr(0, kJournalValueMax));
    EXPECT_EQ(JournalErase("Test", longName.c_str()), 0);
    EXPECT_TRUE(JournalRead("Test").empty());
    EXPECT_EQ(JournalErase("Test", "absent"), 0);
    EXPECT_EQ(JournalErase("NoSuchSection", "absent"), 0);
}

// The search list keeps its backup beside the list; the journal marks that
// there is one, for as long as there is.
TEST_F(HostJournal, SearchListIsMarkedWhileChanged) {
    UniqueKey tcpip;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, kTcpipParametersKey, 0, nullptr, 0, KEY_SET_VALUE | KEY_QUERY_VALUE,
                              nullptr, tcpip.put(), nullptr),
              0);
    auto setList = [&](const char* text) {
        RegSetValueExA(tcpip.get(), "SearchList", 0, REG_SZ, reinterpret_cast<const BYTE*>(text),
                       static_cast<DWORD>(strlen(text) + 1));
    };
    auto list = [&] {
        char text[256];
        return ReadRegistryText(tcpip.get(), "SearchList", text) == 0 ? std::string(text) : "<none>";
    };
    RegDeleteValueA(tcpip.get(), "SearchListBackupSC");
    setList("user.example");

    UpdateSearchList("corp.example,+");
    EXPECT_EQ(Names(kSearchListJournalSection).size(), 1u);
    UpdateSearchList(nullptr);  // a clean end
    EXPECT_TRUE(Names(kSearchListJournalSection).empty());

    UpdateSearchList("corp.example,+");  // and a killed run: the next start
    UndoJournalSearchList();
    EXPECT_EQ(list(), "user.example");
    EXPECT_TRUE(Names(kSearchListJournalSection).empty());

    // A mark whose backup never got written is dropped, the list untouched.
    ASSERT_EQ(JournalWrite(kSearchListJournalSection, "SearchListBackupSC", "changed"), 0);
    setList("mine.example");
    UndoJournalSearchList();
    EXPECT_EQ(list(), "mine.example");
    EXPECT_TRUE(Names(kSearchListJournalSection).empty());
}

}  // namespace
}  // namespace holv
