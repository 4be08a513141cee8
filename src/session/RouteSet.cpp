#include "session/RouteSet.h"

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
    if (wanted.empty()) {
        installed.clear();
        return;
    }

    std::vector<RoutePair> existing;
    bool tableRead = CollectExistingRoutes(existing);
    std::vector<RoutePair> next;
    next.reserve(wanted.size());
    bool metricsSet = false;
    for (const RoutePair& pair : wanted) {
        if (ContainsRoutePair(installed, pair)) {
            next.push_back(pair);
            continue;
        }
        // Without the table nothing shows which routes the system already
        // has: creating now could shadow one of them, so wait for the next
        // step.
        if (!tableRead || ContainsRoutePair(existing, pair)) continue;
        if (!metricsSet) {
            SetMetrics();
            metricsSet = true;
        }
        bool made = pair == kBroadcastPair ? ApplyBroadcastRoute() == 0 : Create(pair);
        if (made) next.push_back(pair);
    }
    if (next.size() != installed.size()) FlushResolverCache();
    next.shrink_to_fit();
    installed = std::move(next);
}

void RouteSet::RemoveAllRoutes() {
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
    if (pair == kBroadcastPair) {
        RestoreBroadcastRoute();
        return;
    }
    ForwardRow row = routeTemplate;
    row.destination = pair.destination;
    row.mask = pair.mask;
    int rc = system.DeleteForwardEntry(row);  // gone either way: it is no longer ours
    // Only a route the table no longer holds is no longer worth a note: one
    // that would not go is left for the next start to try again.
    if (record && (rc == 0 || rc == kErrorNotFound)) record->Forget(row);
}

bool RouteSet::CollectExistingRoutes(std::vector<RoutePair>& existing) {
    std::vector<ForwardRow> rows;
    if (system.GetForwardTable(rows) != 0) return false;
    existing.reserve(rows.size() * 2);
    for (const ForwardRow& row : rows) {
        if (IsLimitedBroadcast(row)) {
            if (row.ifIndex == broadcastRow.ifIndex) {
                localAddress = row.nextHop;
                if (savedBroadcastMetric == 0) savedBroadcastMetric = row.metric[0];
            }
            continue;
        }
        existing.push_back({row.nextHop, kAllOnes});
        existing.push_back({row.destination, row.mask});
    }
    SortRoutePairs(existing);
    return true;
}

bool RouteSet::Create(const RoutePair& pair) {
    ForwardRow row = routeTemplate;
    row.destination = pair.destination;
    row.mask = pair.mask;
    // Noted first: a run that ends between the two must leave the note.
    if (record && record->Note(row) != 0) return false;
    if (system.CreateForwardEntry(row) == 0) return true;
    if (record) record->Forget(row);
    return false;
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
        if (record && record->NoteMetric(broadcastRow, savedBroadcastMetric) != 0) return 1;
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
    if (system.SetForwardEntry(broadcastRow) == 0 && record) record->ForgetMetric(broadcastRow);
    broadcastRow.metric[0] = routeTemplate.metric[0];
}

void RouteSet::FlushResolverCache() {
    if (resolverFlush) resolverFlush->Flush();
}

}  // namespace holv
