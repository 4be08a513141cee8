// libFuzzer target: the appliance's route lists. The input is split into the
// two lists at its first 0x01 byte (list 1 empty without one). Beyond the
// sanitizers' checks it asserts the parser's promises: an invalid list adds
// nothing, a valid one adds exactly its entries up to the cap, and the
// combined list is sorted, free of repeats and at most 1024 long.
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "session/RouteList.h"

namespace {

using namespace holv;

void Require(bool condition) {
    if (!condition) __builtin_trap();
}

bool LooksValid(std::string_view text) {
    if (text.size() < 4) return false;
    for (char c : text)
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
    size_t entry = (text[0] == '0' && text[1] == '0') ? 8 : 16;
    return (text.size() - 4) % entry == 0;
}

void CheckOne(std::string_view text, size_t limit) {
    std::vector<RoutePair> out{kBroadcastPair};  // what is there stays
    size_t added = ParseRouteList(text, out, limit);
    Require(out.size() == added + 1 && out[0] == kBroadcastPair);
    Require(added <= limit);
    if (!LooksValid(text)) {
        Require(added == 0);
        return;
    }
    size_t entry = (text[0] == '0' && text[1] == '0') ? 8 : 16;
    size_t entries = (text.size() - 4) / entry;
    Require(added == (entries < limit ? entries : limit));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view all(reinterpret_cast<const char*>(data), size);
    size_t split = all.find('\x01');
    std::string_view list0 = all.substr(0, split);
    std::string_view list1 = split == std::string_view::npos ? std::string_view() : all.substr(split + 1);

    CheckOne(list0, kRouteListMaxEntries);
    CheckOne(list1, 3);
    std::vector<RoutePair> combined = CombineRouteLists(list0, list1);
    Require(combined.size() <= kRouteListMaxEntries);
    for (size_t i = 1; i < combined.size(); ++i) Require(RoutePairLess(combined[i - 1], combined[i]));
    for (const RoutePair& p : combined) Require(ContainsRoutePair(combined, p));
    Require(PairsToUndo(combined, combined).empty());
    return 0;
}
