// The appliance's route lists and the ordered sets of (destination, mask)
// pairs built from them: pure, so the parser is tested natively, under the
// sanitizers and by the fuzzer.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "base/Address.h"  // NetToHost32, HostToNet32

namespace holv {

// Destination and mask in network order, as the route table holds them.
struct RoutePair {
    uint32_t destination;
    uint32_t mask;
    friend bool operator==(const RoutePair&, const RoutePair&) = default;
};

// The longest list the appliance may send, and the most entries both lists
// together may ask for.
inline constexpr int kRouteListMaxText = 10240;
inline constexpr size_t kRouteListMaxEntries = 1024;

// The pair that asks for limited broadcasts through the appliance's interface.
inline constexpr RoutePair kBroadcastPair{0xFFFFFFFFu, 0xFFFFFFFFu};

// Ascending by destination, then by mask, both in host order.
bool RoutePairLess(const RoutePair& a, const RoutePair& b);

// Header of 4 lower-case hex digits (first byte 0: 8-digit host entries,
// else 16-digit destination and mask entries), then the entries. A list that
// breaks any rule counts as empty. At most `limit` entries are appended to
// `out`; the rest are cut. Returns the number appended.
size_t ParseRouteList(std::string_view text, std::vector<RoutePair>& out, size_t limit);

// Both lists as one: list 0 cut at 1024 entries, list 1 at what is left;
// sorted, and a pair listed more than once kept once.
std::vector<RoutePair> CombineRouteLists(std::string_view list0, std::string_view list1);

// Sorts and drops repeated pairs.
void SortRoutePairs(std::vector<RoutePair>& pairs);

// Binary search in a sorted list.
bool ContainsRoutePair(const std::vector<RoutePair>& sorted, const RoutePair& pair);

// The pairs of `installed` that `wanted` no longer holds (both sorted), in
// order: the ones to undo.
std::vector<RoutePair> PairsToUndo(const std::vector<RoutePair>& installed, const std::vector<RoutePair>& wanted);

}  // namespace holv
