#include "session/JournalOwner.h"

namespace holv {
namespace {

// A decimal number as the writer writes it: digits only, no leading zero,
// no overflow.
bool ParseDecimal(std::string_view text, uint64_t max, uint64_t& out) {
    if (text.empty() || (text[0] == '0' && text.size() > 1)) return false;
    uint64_t v = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        uint64_t digit = static_cast<uint64_t>(c - '0');
        if (v > (max - digit) / 10) return false;
        v = v * 10 + digit;
    }
    out = v;
    return true;
}

}  // namespace

std::string OwnerText(const JournalOwner& owner) {
    return std::to_string(owner.processId) + " " + std::to_string(owner.createdAt);
}

std::optional<JournalOwner> ParseOwner(std::string_view text) {
    size_t blank = text.find(' ');
    uint64_t pid = 0, created = 0;
    if (!ParseDecimal(text.substr(0, blank), UINT32_MAX, pid)) return std::nullopt;
    if (blank != std::string_view::npos && !ParseDecimal(text.substr(blank + 1), UINT64_MAX, created))
        return std::nullopt;
    return JournalOwner{static_cast<uint32_t>(pid), created};
}

bool SplitOwnedValue(const std::string& value, std::string& head, std::optional<JournalOwner>& owner) {
    size_t blank = value.find(' ');
    head = value.substr(0, blank);
    owner.reset();
    if (blank == std::string::npos) return true;
    owner = ParseOwner(std::string_view(value).substr(blank + 1));
    return owner.has_value();
}

bool SameRun(const JournalOwner& noted, const JournalOwner& live) {
    return noted.processId == live.processId && (noted.createdAt == 0 || noted.createdAt == live.createdAt);
}

}  // namespace holv
