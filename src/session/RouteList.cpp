#include "session/RouteList.h"

#include <algorithm>

namespace holv {
namespace {

constexpr size_t kHeaderDigits = 4;
constexpr size_t kHostEntryDigits = 8;
constexpr size_t kNetworkEntryDigits = 16;

// Lower case only: the appliance writes its lists that way, and anything else
// means the text is not one of its lists.
int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

// Eight digits, most significant first; the caller has checked them.
uint32_t ReadWord(std::string_view digits) {
    uint32_t value = 0;
    for (size_t i = 0; i < 8; ++i) value = (value << 4) | static_cast<uint32_t>(HexValue(digits[i]));
    return value;
}

bool AllLowerHex(std::string_view text) {
    return std::all_of(text.begin(), text.end(), [](char c) { return HexValue(c) >= 0; });
}

}  // namespace

bool RoutePairLess(const RoutePair& a, const RoutePair& b) {
    uint32_t ad = NetToHost32(a.destination), bd = NetToHost32(b.destination);
    if (ad != bd) return ad < bd;
    return NetToHost32(a.mask) < NetToHost32(b.mask);
}

size_t ParseRouteList(std::string_view text, std::vector<RoutePair>& out, size_t limit) {
    if (text.size() < kHeaderDigits || !AllLowerHex(text)) return 0;
    bool withMask = HexValue(text[0]) != 0 || HexValue(text[1]) != 0;
    size_t entryDigits = withMask ? kNetworkEntryDigits : kHostEntryDigits;
    std::string_view entries = text.substr(kHeaderDigits);
    if (entries.size() % entryDigits != 0) return 0;

    size_t count = std::min(entries.size() / entryDigits, limit);
    for (size_t i = 0; i < count; ++i) {
        std::string_view entry = entries.substr(i * entryDigits, entryDigits);
        uint32_t destination = ReadWord(entry);
        uint32_t mask = withMask ? ReadWord(entry.substr(kHostEntryDigits)) : 0xFFFFFFFFu;
        out.push_back({HostToNet32(destination), HostToNet32(mask)});
    }
    return count;
}

std::vector<RoutePair> CombineRouteLists(std::string_view list0, std::string_view list1) {
    std::vector<RoutePair> pairs;
    size_t first = ParseRouteList(list0, pairs, kRouteListMaxEntries);
    ParseRouteList(list1, pairs, kRouteListMaxEntries - first);
    SortRoutePairs(pairs);
    return pairs;
}

// A pair asked for twice must be created and owned once: a second creation
// of the same route would fail, or worse, be deleted twice later.
void SortRoutePairs(std::vector<RoutePair>& pairs) {
    std::sort(pairs.begin(), pairs.end(), RoutePairLess);
    pairs.erase(std::unique(pairs.begin(), pairs.end()), pairs.end());
}

bool ContainsRoutePair(const std::vector<RoutePair>& sorted, const RoutePair& pair) {
    return std::binary_search(sorted.begin(), sorted.end(), pair, RoutePairLess);
}

std::vector<RoutePair> PairsToUndo(const std::vector<RoutePair>& installed, const std::vector<RoutePair>& wanted) {
    std::vector<RoutePair> undo;
    std::set_difference(installed.begin(), installed.end(), wanted.begin(), wanted.end(), std::back_inserter(undo),
                        RoutePairLess);
    return undo;
}

}  // namespace holv
