// The appliance's route lists: what is a valid list, what its entries mean,
// and how the two lists become one ordered set.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "session/FakeRouteSystem.h"
#include "session/RouteList.h"

using namespace holv;
using holv::test::Pair;

namespace {

std::vector<RoutePair> Parse(const std::string& text) {
    std::vector<RoutePair> out;
    size_t appended = ParseRouteList(text, out, kRouteListMaxEntries);
    EXPECT_EQ(appended, out.size());
    return out;
}

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

TEST(RouteList, HostEntriesWhenTheHeaderByteIsZero) {
    EXPECT_EQ(Parse("00000a000001c0a80001"), (std::vector<RoutePair>{Pair("10.0.0.1"), Pair("192.168.0.1")}));
    // The second header byte means nothing.
    EXPECT_EQ(Parse("00ff0a000001"), (std::vector<RoutePair>{Pair("10.0.0.1")}));
}

TEST(RouteList, NetworkEntriesWhenTheHeaderByteIsNotZero) {
    EXPECT_EQ(Parse("01000a010000ffff0000"), (std::vector<RoutePair>{Pair("10.1.0.0", "255.255.0.0")}));
    EXPECT_EQ(Parse("80000000000000000000c0a83800ffffff00"),
              (std::vector<RoutePair>{Pair("0.0.0.0", "0.0.0.0"), Pair("192.168.56.0", "255.255.255.0")}));
    // Network order: the first digit pair is the first byte in memory.
    uint32_t d = Parse("01000a010000ffff0000")[0].destination;
    EXPECT_EQ(reinterpret_cast<const uint8_t*>(&d)[0], 10);
    EXPECT_EQ(reinterpret_cast<const uint8_t*>(&d)[1], 1);
}

TEST(RouteList, TheBroadcastEntryInBothForms) {
    EXPECT_EQ(Parse("0000ffffffff"), (std::vector<RoutePair>{kBroadcastPair}));
    EXPECT_EQ(Parse("0100ffffffffffffffff"), (std::vector<RoutePair>{kBroadcastPair}));
}

TEST(RouteList, InvalidListsCountAsEmpty) {
    const char* invalid[] = {
        "",                          // no header
        "000",                       // short header
        "00000A000001",              // upper-case digit
        "0000 a000001",              // blank
        "00000a00000",               // entry one digit short
        "00000a0000010",             // one digit too many
        "01000a000001",              // 8 digits where 16 are due
        "0100ffffffffffffffff0a00",  // trailing part of an entry
        "0x000a000001",              // not hex
        "00000a00000g",              // not hex
    };
    for (const char* text : invalid) EXPECT_TRUE(Parse(text).empty()) << '"' << text << '"';
    // A NUL inside the text is not a digit either.
    EXPECT_TRUE(Parse(std::string("00000a00\0"
                                  "001",
                                  12))
                    .empty());
    // A header alone is a valid, empty list.
    EXPECT_TRUE(Parse("0000").empty());
    EXPECT_TRUE(Parse("0100").empty());
}

TEST(RouteList, CombinedListIsSortedInHostOrderWithEachPairOnce) {
    // 10.0.0.255 before 10.0.1.0: host order, which comparing the
    // network-order words of a little-endian machine would get wrong.
    auto combined = CombineRouteLists("0000c0a800010a0001000a0000ff0a0000ff",
                                      "01000a000000ff0000000a000000ffffff000a0000ff"
                                      "ffffffff");
    EXPECT_EQ(combined, (std::vector<RoutePair>{Pair("10.0.0.0", "255.0.0.0"), Pair("10.0.0.0", "255.255.255.0"),
                                                Pair("10.0.0.255"), Pair("10.0.1.0"), Pair("192.168.0.1")}));
}

TEST(RouteList, OneInvalidListLeavesTheOther) {
    EXPECT_EQ(CombineRouteLists("00000A000001", "0000c0a80001"), (std::vector<RoutePair>{Pair("192.168.0.1")}));
    EXPECT_EQ(CombineRouteLists("0000c0a80001", "0100c0a80001"), (std::vector<RoutePair>{Pair("192.168.0.1")}));
}

TEST(RouteList, BothListsTogetherHoldAtMost1024Entries) {
    // The most host entries that fit 10240 characters: 1279, cut at 1024.
    std::string longest = HostList(1279);
    ASSERT_EQ(longest.size(), 10236u);
    auto combined = CombineRouteLists(longest, HostList(5, 5000));
    ASSERT_EQ(combined.size(), 1024u);
    EXPECT_EQ(combined.front(), Pair("10.0.0.0"));
    EXPECT_EQ(combined.back(), Pair("10.0.3.255"));  // entry 1023 of list 0; list 1 has no room

    // 10240 characters are no whole number of host entries.
    EXPECT_TRUE(CombineRouteLists(longest + "0a00", "0000").empty());

    // List 1 gets what list 0 leaves.
    combined = CombineRouteLists(HostList(1000), HostList(100, 2000));
    ASSERT_EQ(combined.size(), 1024u);
    EXPECT_EQ(combined.back(), Pair("10.0.7.231"));  // 2000 + 23
    // The cut counts entries as listed, before repeated ones are dropped.
    std::string twice = HostList(512) + HostList(512).substr(4);
    combined = CombineRouteLists(twice, HostList(1, 3000));
    EXPECT_EQ(combined.size(), 512u);
    EXPECT_FALSE(ContainsRoutePair(combined, Pair("10.0.11.184")));
}

TEST(RouteList, PairsToUndoAreThoseNoLongerWanted) {
    std::vector<RoutePair> installed{Pair("10.0.0.1"), Pair("10.1.0.0", "255.255.0.0"), Pair("192.168.0.1")};
    std::vector<RoutePair> wanted{Pair("10.0.0.1"), Pair("10.1.0.0", "255.255.255.0"), Pair("172.16.0.1")};
    EXPECT_EQ(PairsToUndo(installed, wanted),
              (std::vector<RoutePair>{Pair("10.1.0.0", "255.255.0.0"), Pair("192.168.0.1")}));
    EXPECT_TRUE(PairsToUndo(installed, installed).empty());
    EXPECT_EQ(PairsToUndo(installed, {}), installed);
}
