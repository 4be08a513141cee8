#include "session/RouteJournal.h"

#include <cstdio>

#include "base/Address.h"

namespace holv {
namespace {

// Reads what the writer wrote and nothing else: decimal numbers without
// sign, leading zeros or overflow, single blanks, nothing after the end.
class EntryCursor {
public:
    explicit EntryCursor(const std::string& text) : p(text.c_str()), end(text.c_str() + text.size()) {}

    bool Number(uint32_t max, uint32_t& out) {
        if (p == end || *p < '0' || *p > '9') return false;
        if (*p == '0' && p + 1 != end && p[1] >= '0' && p[1] <= '9') return false;
        uint64_t v = 0;
        while (p != end && *p >= '0' && *p <= '9') {
            v = v * 10 + static_cast<uint64_t>(*p++ - '0');
            if (v > max) return false;
        }
        out = static_cast<uint32_t>(v);
        return true;
    }
    bool Char(char c) {
        if (p == end || *p != c) return false;
        ++p;
        return true;
    }
    // Dotted text to network order.
    bool Address(uint32_t& out) {
        uint32_t hostOrder = 0;
        for (int i = 0; i < 4; ++i) {
            uint32_t byte = 0;
            if ((i > 0 && !Char('.')) || !Number(255, byte)) return false;
            hostOrder = hostOrder << 8 | byte;
        }
        out = HostToNet32(hostOrder);
        return true;
    }
    bool AtEnd() const { return p == end; }
    // What is left: the owner.
    std::optional<JournalOwner> Owner() { return ParseOwner(std::string_view(p, static_cast<size_t>(end - p))); }

private:
    const char* p;
    const char* end;
};

constexpr char kMetricPrefix[] = "broadcast metric ";

// A noted broadcast metric: the interface, the metric it had, the owner.
struct RecordedMetric {
    uint32_t ifIndex = 0;
    uint32_t metric = 0;
    JournalOwner owner;
};

std::optional<RecordedMetric> ParseMetricEntry(const std::string& value) {
    EntryCursor in(value);
    RecordedMetric m;
    if (!in.Number(UINT32_MAX, m.ifIndex) || !in.Char(' ') || !in.Number(UINT32_MAX, m.metric) || !in.Char(' '))
        return std::nullopt;
    std::optional<JournalOwner> owner = in.Owner();
    if (!owner) return std::nullopt;
    m.owner = *owner;
    return m;
}

const ForwardRow* BroadcastRowOn(const std::vector<ForwardRow>& table, uint32_t ifIndex) {
    for (const ForwardRow& row : table) {
        if (row.destination == 0xFFFFFFFFu && row.mask == 0xFFFFFFFFu && row.ifIndex == ifIndex) return &row;
    }
    return nullptr;
}

// A metric entry of a run that no longer runs: its interface's broadcast
// row, with the metric back, when the table still has one.
void PlanMetricUndo(const JournalEntry& entry, const std::vector<ForwardRow>& table,
                    const std::function<bool(const JournalOwner&)>& stillRunning, RouteUndoPlan& plan) {
    std::optional<RecordedMetric> noted = ParseMetricEntry(entry.value);
    if (noted && stillRunning(noted->owner)) return;
    const ForwardRow* row = noted ? BroadcastRowOn(table, noted->ifIndex) : nullptr;
    if (!row) {
        plan.dropped.push_back(entry.name);
        return;
    }
    ForwardRow back = *row;
    back.metric[0] = noted->metric;
    plan.resets.push_back(back);
    plan.reset.push_back(entry.name);
}

bool SameRoute(const RecordedRoute& noted, const ForwardRow& row) {
    return row.destination == noted.destination && row.mask == noted.mask && row.nextHop == noted.gateway &&
           row.ifIndex == noted.ifIndex;
}

}  // namespace

std::string RouteEntryName(const ForwardRow& row) {
    char destination[16], mask[16], gateway[16];
    FormatIpv4(destination, sizeof destination, row.destination);
    FormatIpv4(mask, sizeof mask, row.mask);
    FormatIpv4(gateway, sizeof gateway, row.nextHop);
    char name[64];
    std::snprintf(name, sizeof name, "%s %s %s %lu", destination, mask, gateway,
                  static_cast<unsigned long>(row.ifIndex));
    return name;
}

std::string RouteEntryValue(const ForwardRow& row, const JournalOwner& owner) {
    return RouteEntryName(row) + " " + OwnerText(owner);
}

std::string MetricEntryName(const ForwardRow& row) {
    return kMetricPrefix + std::to_string(row.ifIndex);
}

std::string MetricEntryValue(const ForwardRow& row, uint32_t before, const JournalOwner& owner) {
    return std::to_string(row.ifIndex) + " " + std::to_string(before) + " " + OwnerText(owner);
}

std::optional<RecordedRoute> ParseRouteEntry(const std::string& value) {
    EntryCursor in(value);
    RecordedRoute r;
    if (in.Address(r.destination) && in.Char(' ') && in.Address(r.mask) && in.Char(' ') && in.Address(r.gateway) &&
        in.Char(' ') && in.Number(UINT32_MAX, r.ifIndex) && in.Char(' ')) {
        std::optional<JournalOwner> owner = in.Owner();
        if (!owner) return std::nullopt;
        r.owner = *owner;
        return r;
    }
    return std::nullopt;
}

RouteUndoPlan PlanRouteUndo(const std::vector<JournalEntry>& entries, const std::vector<ForwardRow>& table,
                            const std::function<bool(const JournalOwner&)>& stillRunning) {
    RouteUndoPlan plan;
    for (const JournalEntry& entry : entries) {
        if (entry.name.rfind(kMetricPrefix, 0) == 0) {
            PlanMetricUndo(entry, table, stillRunning, plan);
            continue;
        }
        std::optional<RecordedRoute> noted = ParseRouteEntry(entry.value);
        if (noted && stillRunning(noted->owner)) continue;
        const ForwardRow* match = nullptr;
        if (noted) {
            for (const ForwardRow& row : table) {
                if (SameRoute(*noted, row)) {
                    match = &row;
                    break;
                }
            }
        }
        if (match) {
            plan.deletions.push_back(*match);
            plan.deleted.push_back(entry.name);
        } else {
            plan.dropped.push_back(entry.name);
        }
    }
    return plan;
}

}  // namespace holv
