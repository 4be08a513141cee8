#include "base/EventText.h"

namespace holv {
namespace {

struct EventKind {
    uint16_t type;
    const char* sentence;
};

// Indexed by event id. Failures that leave the host changed, or the service
// without its program, are errors; what the program declined or could not
// yet do are warnings; the rest is information.
constexpr EventKind kKinds[kHolvEventLast + 1] = {
    {EventInformation, ""},
    {EventInformation, "The Holvenstead service started"},
    {EventInformation, "The Holvenstead service stopped"},
    {EventError, "The Holvenstead service's program failed"},
    {EventInformation, "The appliance answers"},
    {EventWarning, "The appliance no longer answers"},
    {EventError, "A change to the host's network could not be made"},
    {EventError, "A change to the host could not be undone"},
    {EventWarning, "An action the appliance asked for was refused"},
    {EventInformation, "Host changes left by an earlier run were undone"},
};

char Tame(char c) {
    unsigned char u = static_cast<unsigned char>(c);
    if (u < 0x20 || u == 0x7f) return ' ';
    if (c == '%') return '?';
    return c;
}

}  // namespace

EventEntry MakeEventEntry(HolvEvent event, std::string_view detail) {
    uint16_t id = static_cast<uint16_t>(event);
    if (id == 0 || id > kHolvEventLast) id = 0;
    EventEntry entry;
    entry.type = kKinds[id].type;
    entry.id = id;
    entry.text = kKinds[id].sentence;
    if (!detail.empty()) {
        entry.text += ": ";
        for (char c : detail) {
            if (entry.text.size() >= kEventTextMax) break;
            entry.text += Tame(c);
        }
    }
    entry.text += '.';
    if (entry.text.size() > kEventTextMax) entry.text.resize(kEventTextMax);
    return entry;
}

uint16_t ContactEvent(bool& inContact, bool reachable) {
    if (inContact == reachable) return 0;
    inContact = reachable;
    return static_cast<uint16_t>(reachable ? HolvEvent::ApplianceFound : HolvEvent::ApplianceLost);
}

bool EventOnce::First(const std::string& key) {
    for (const std::string& k : seen_)
        if (k == key) return false;
    if (seen_.size() >= kMaxKeys) return false;
    seen_.push_back(key);
    return true;
}

}  // namespace holv
