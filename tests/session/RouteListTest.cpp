// The appliance's route lists: what is a valid list, what its entries mean,
// and how the two lists become one ordered set.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "session/FakeRouteSystem.h"
#include "session/RouteList.h"

using namespace holv;
using holv::test::Pair;
using Pairs = std::vector<RoutePair>;

namespace {

// n host entries 10.0.x.y, counting up from `first`.
std::string HostList(int n, int first = 0) {
    std::string text = "0000";
    char entry[9];
    for (int i = 0; i < n; ++i) {
        std::snprintf(entry, sizeof entry, "0a00%04x", first + i);
        text += entry;
    }
    return text;
}

}  // namespace

// Each row: a list and its entries; a list that breaks any rule counts as empty.
TEST(RouteList, EntriesOfValidListsOnly) {
    const struct {
        std::string text;
        Pairs pairs;
    } rows[] = {
        {"00000a000001c0a80001", {Pair("10.0.0.1"), Pair("192.168.0.1")}},
        {"00ff0a000001", {Pair("10.0.0.1")}},  // the second header byte means nothing
        {"01000a010000ffff0000", {Pair("10.1.0.0", "255.255.0.0")}},
        {"80000000000000000000c0a83800ffffff00", {Pair("0.0.0.0", "0.0.0.0"), Pair("192.168.56.0", "255.255.255.0")}},
        {"0100ffffffffffffffff", {kBroadcastPair}},
        {"0000", {}},
        {"", {}},
        {"00000A000001", {}},   // upper case
        {"00000a00000", {}},    // an entry one digit short
        {"00000a0000010", {}},  // one digit too many
        {"01000a000001", {}},   // 8 digits where 16 are due
        {"0100ffffffffffffffff0a00", {}},
        {"00000a00" + std::string(1, '\0') + "001", {}},
    };
    for (const auto& r : rows) {
        Pairs out;
        EXPECT_EQ(ParseRouteList(r.text, out, kRouteListMaxEntries), r.pairs.size()) << r.text;
        EXPECT_EQ(out, r.pairs) << r.text;
    }
}

TEST(RouteList, CombinedListIsSortedInHostOrderWithEachPairOnce) {
    // 10.0.0.255 before 10.0.1.0: host order, which comparing the
    // network-order words of a little-endian machine would get wrong.
    auto combined = CombineRouteLists("0000c0a800010a0001000a0000ff0a0000ff",
                                      "01000a000000ff0000000a000000ffffff000a0000ffffffffff");
    EXPECT_EQ(combined, (Pairs{Pair("10.0.0.0", "255.0.0.0"), Pair("10.0.0.0", "255.255.255.0"), Pair("10.0.0.255"),
                               Pair("10.0.1.0"), Pair("192.168.0.1")}));
}

TEST(RouteList, BothListsTogetherHoldAtMost1024Entries) {
    // The most host entries that fit 10240 characters: 1279, cut at 1024.
    std::string longest = HostList(1279);
    ASSERT_EQ(longest.size(), 10236u);
    auto combined = CombineRouteLists(longest, HostList(5, 5000));
    ASSERT_EQ(combined.size(), 1024u);
    EXPECT_EQ(combined.back(), Pair("10.0.3.255"));  // entry 1023 of list 0; list 1 has no room

    // List 1 gets what list 0 leaves.
    combined = CombineRouteLists(HostList(1000), HostList(100, 2000));
    ASSERT_EQ(combined.size(), 1024u);
    EXPECT_EQ(combined.back(), Pair("10.0.7.231"));  // 2000 + 23
    // The cut counts entries as listed, before repeated ones are dropped.
    std::string twice = HostList(512) + HostList(512).substr(4);
    EXPECT_EQ(CombineRouteLists(twice, HostList(1, 3000)).size(), 512u);
}
