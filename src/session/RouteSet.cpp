#include "session/RouteSet.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "base/Address.h"
#include "base/Text.h"

namespace holv {
namespace {

constexpr uint32_t kAllOnes = 0xFFFFFFFFu;
constexpr int kErrorNotFound = 1168;  // ERROR_NOT_FOUND: the table has no such route
// Systems before this major version have no settable broadcast route; the
// VirtualBox host-interface command does the job there.
constexpr int kFirstSettableBroadcastVersion = 6;
constexpr char kBroadcastCommand[] = "VBoxManage.exe hostifbcmasq \"%s Adapter\" %s";
constexpr char kAdapterName[] = "Holvenstead";

// A refused route is tried again after this, then after twice as long each
// time, up to the limit.
constexpr uint64_t kFirstRetryMs = 5000;
constexpr uint64_t kLongestRetryMs = 5 * 60 * 1000;
// A table copy older than this is read again even without a change notice,
// in case one went missing.
constexpr uint64_t kTableMaxAgeMs = 60000;

ForwardRow RowFor(const ForwardRow& routeTemplate, const RoutePair& pair) {
    ForwardRow row = routeTemplate;
    row.destination = pair.destination;
    row.mask = pair.mask;
    return row;
}

bool IsLimitedBroadcast(const ForwardRow& row) {
    return row.destination == kAllOnes && row.mask == kAllOnes;
}

// Reads one list; false when the request failed. The length the source
// reports is not trusted beyond the buffer it was given.
bool ReadList(RouteListSource& source, const uint8_t* mac, int index, std::string& text) {
    std::vector<char> buffer(kRouteListMaxText);
    int length = kRouteListMaxText;
    if (source.ReadRouteList(mac, index, buffer.data(), length) != 0) return false;
    if (length < 0) length = 0;
    if (length > kRouteListMaxText) length = kRouteListMaxText;
    text.assign(buffer.data(), static_cast<size_t>(length));
    return true;
}

}  // namespace

RouteSet::RouteSet(RouteSystem& routeSystem, RouteRecord* routeRecord)
    : system(routeSystem), record(routeRecord), resolverFlush(routeSystem.OpenResolverFlush()) {
    broadcastRow.destination = kAllOnes;
    broadcastRow.mask = kAllOnes;
    broadcastRow.type = kRouteTypeDirect;
    broadcastRow.proto = kRouteProtoNetMgmt;
}

RouteSet::~RouteSet() {
    RemoveAllRoutes();
}

void RouteSet::InstallRoutes(uint32_t applianceIp, const uint8_t mac[6], bool runCommands, RouteListSource& source) {
    mayRunCommands = runCommands;
    if (applianceIp != routeTemplate.nextHop) UseGateway(applianceIp);
    std::memcpy(applianceMac, mac, sizeof applianceMac);

    std::string list0, list1;
    if (!ReadList(source, applianceMac, 0, list0) || !ReadList(source, applianceMac, 1, list1)) return;
    std::vector<RoutePair> wanted = CombineRouteLists(list0, list1);

    for (const RoutePair& pair : PairsToUndo(installed, wanted)) Undo(pair);
    // A refusal of what the appliance no longer asks for is no longer news.
    std::erase_if(failed, [&](const RouteFailure& f) { return !ContainsRoutePair(wanted, f.pair); });
    if (wanted.empty()) {
        installed.clear();
        return;
    }

    uint64_t now = system.NowMs();
    bool tableRead = RefreshTable(now);
    std::vector<RoutePair> next;
    next.reserve(wanted.size());
    bool metricsSet = false;
    for (const RoutePair& pair : wanted) {
        bool owned = ContainsRoutePair(installed, pair);
        // Without the table nothing shows which routes the system already
        // has nor which of ours it dropped: creating now could shadow one of
        // its own, so wait for the next step.
        if (!tableRead) {
            if (owned) next.push_back(pair);
            continue;
        }
        if (owned && StillInPlace(pair)) {
            next.push_back(pair);
            continue;
        }
        if (ContainsRoutePair(tableExisting, pair)) {
            // Someone else's route serves it now (or always did): not ours.
            if (owned && record) record->Forget(RowFor(routeTemplate, pair));
            ForgetFailure(pair);
            continue;
        }
        // A refused pair waits for its turn; one of ours that the system
        // dropped (a link that went down, a PC that slept) is put back now.
        const RouteFailure* refused = FindFailure(pair);
        if (!owned && refused && now < refused->retryAtMs) continue;
        if (!metricsSet) {
            SetMetrics();
            metricsSet = true;
        }
        int rc = pair == kBroadcastPair ? ApplyBroadcastRoute() : Create(pair);
        if (rc != 0) {
            NoteFailure(pair, rc, now);
            continue;
        }
        ForgetFailure(pair);
        next.push_back(pair);
    }
    // What the program changed (or tried to) shows in the table only when
    // it is read again.
    if (metricsSet) tableHeld = false;
    if (next.size() != installed.size()) FlushResolverCache();
    next.shrink_to_fit();
    installed = std::move(next);
}

void RouteSet::RemoveAllRoutes() {
    failed.clear();  // nothing is asked for any more
    tableHeld = false;
    if (installed.empty()) return;
    std::vector<RoutePair> undo;
    undo.swap(installed);
    for (const RoutePair& pair : undo) Undo(pair);
    FlushResolverCache();
}

// A new appliance address: what went through the old one goes, and the
// template points at the new one through the interface that reaches it.
void RouteSet::UseGateway(uint32_t applianceIp) {
    RemoveAllRoutes();
    uint32_t ifIndex = 0;
    if (system.GetBestInterface(applianceIp, &ifIndex) != 0) ifIndex = 0;
    // The saved broadcast metric belongs to the old interface's route; it
    // must not be written to another interface's.
    if (ifIndex != routeTemplate.ifIndex) savedBroadcastMetric = 0;
    routeTemplate.ifIndex = ifIndex;
    routeTemplate.nextHop = applianceIp;
    routeTemplate.mask = kAllOnes;
    routeTemplate.type = kRouteTypeIndirect;
    routeTemplate.proto = kRouteProtoNetMgmt;
    broadcastRow.ifIndex = ifIndex;
}

void RouteSet::Undo(const RoutePair& pair) {
    tableHeld = false;
    if (pair == kBroadcastPair) {
        RestoreBroadcastRoute();
        return;
    }
    ForwardRow row = RowFor(routeTemplate, pair);
    int rc = system.DeleteForwardEntry(row);  // gone either way: it is no longer ours
    // Only a route the table no longer holds is no longer worth a note: one
    // that would not go is left for the next start to try again.
    if (rc == 0 || rc == kErrorNotFound) {
        if (record) record->Forget(row);
    } else {
        system.ReportFailure(true, "removing", row, rc);
    }
}

bool RouteSet::RefreshTable(uint64_t now) {
    uint32_t changes = system.RouteChanges();
    bool fresh = tableHeld && changes == tableChanges && now >= tableReadAtMs && now - tableReadAtMs < kTableMaxAgeMs;
    if (fresh) return true;
    tableHeld = ReadTable();
    tableChanges = changes;
    tableReadAtMs = now;
    return tableHeld;
}

bool RouteSet::ReadTable() {
    tableExisting.clear();
    tableOurs.clear();
    std::vector<ForwardRow> rows;
    if (system.GetForwardTable(rows) != 0) return false;
    currentBroadcastMetric = 0;
    tableExisting.reserve(rows.size() * 2);
    for (const ForwardRow& row : rows) {
        if (IsLimitedBroadcast(row)) {
            if (row.ifIndex == broadcastRow.ifIndex) {
                localAddress = row.nextHop;
                currentBroadcastMetric = row.metric[0];
                if (savedBroadcastMetric == 0) savedBroadcastMetric = row.metric[0];
            }
            continue;
        }
        tableExisting.push_back({row.nextHop, kAllOnes});
        tableExisting.push_back({row.destination, row.mask});
        if (row.nextHop == routeTemplate.nextHop && row.ifIndex == routeTemplate.ifIndex)
            tableOurs.push_back({row.destination, row.mask});
    }
    SortRoutePairs(tableExisting);
    SortRoutePairs(tableOurs);
    return true;
}

// An owned route still in the table through the appliance; the broadcast
// change still holding our metric. Older systems show no trace of theirs.
bool RouteSet::StillInPlace(const RoutePair& pair) {
    if (!(pair == kBroadcastPair)) return ContainsRoutePair(tableOurs, pair);
    if (system.GetMajorVersion() < kFirstSettableBroadcastVersion) return true;
    return currentBroadcastMetric == broadcastRow.metric[0];
}

int RouteSet::Create(const RoutePair& pair) {
    ForwardRow row = RowFor(routeTemplate, pair);
    // Noted first: a run that ends between the two must leave the note.
    if (record) {
        if (int rc = record->Note(row)) return rc;
    }
    int rc = system.CreateForwardEntry(row);
    if (rc != 0 && record) record->Forget(row);
    return rc;
}

// Each refusal doubles the wait before the next try, so a system that keeps
// refusing (or an appliance that makes the steps come fast) is not asked
// at every step, and never waits longer than the limit.
void RouteSet::NoteFailure(const RoutePair& pair, int error, uint64_t now) {
    auto it = std::lower_bound(failed.begin(), failed.end(), pair,
                               [](const RouteFailure& f, const RoutePair& p) { return RoutePairLess(f.pair, p); });
    if (it == failed.end() || !(it->pair == pair)) it = failed.insert(it, RouteFailure{pair, 0, {}, 0, 0});
    it->intervalMs = it->intervalMs == 0 ? kFirstRetryMs : std::min(it->intervalMs * 2, kLongestRetryMs);
    it->retryAtMs = now + it->intervalMs;
    if (it->error != error || it->errorText.empty()) {
        it->error = error;
        it->errorText = system.ErrorText(error);
        bool broadcast = pair == kBroadcastPair;
        system.ReportFailure(false, broadcast ? "setting the metric of" : "adding",
                             broadcast ? broadcastRow : RowFor(routeTemplate, pair), error);
    }
}

void RouteSet::ForgetFailure(const RoutePair& pair) {
    std::erase_if(failed, [&](const RouteFailure& f) { return f.pair == pair; });
}

const RouteFailure* RouteSet::FindFailure(const RoutePair& pair) const {
    for (const RouteFailure& f : failed)
        if (f.pair == pair) return &f;
    return nullptr;
}

// Our routes sit just behind the interface's own ones.
void RouteSet::SetMetrics() {
    uint32_t metric = system.GetInterfaceMetric(routeTemplate.ifIndex).value_or(0) + 1;
    routeTemplate.metric[0] = metric;
    broadcastRow.metric[0] = metric;
    for (int i = 1; i < 5; ++i) routeTemplate.metric[i] = kUnusedMetric;
}

int RouteSet::ApplyBroadcastRoute() {
    if (system.GetMajorVersion() >= kFirstSettableBroadcastVersion) {
        // Noted first, like a route: a run that ends with the appliance's
        // metric in place leaves the way back.
        if (record) {
            if (int rc = record->NoteMetric(broadcastRow, savedBroadcastMetric)) return rc;
        }
        int rc = system.SetForwardEntry(broadcastRow);
        if (rc != 0 && record) record->ForgetMetric(broadcastRow);
        return rc;
    }
    if (!mayRunCommands) return 1;
    char address[16];
    FormatIpv4(address, sizeof address, localAddress);
    char line[256];
    FormatText(line, sizeof line, kBroadcastCommand, kAdapterName, address);
    return system.RunCommandLine(line);
}

void RouteSet::RestoreBroadcastRoute() {
    if (system.GetMajorVersion() < kFirstSettableBroadcastVersion) {
        if (!mayRunCommands) return;
        char line[256];
        FormatText(line, sizeof line, kBroadcastCommand, kAdapterName, "0.0.0.0");
        system.RunCommandLine(line);
        return;
    }
    broadcastRow.metric[0] = savedBroadcastMetric;
    // A metric that would not go back stays noted for the next start.
    if (int rc = system.SetForwardEntry(broadcastRow)) {
        system.ReportFailure(true, "setting back the metric of", broadcastRow, rc);
    } else if (record) {
        record->ForgetMetric(broadcastRow);
    }
    broadcastRow.metric[0] = routeTemplate.metric[0];
}

void RouteSet::FlushResolverCache() {
    if (resolverFlush) resolverFlush->Flush();
}

}  // namespace holv
