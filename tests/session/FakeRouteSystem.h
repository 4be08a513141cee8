// A route table the tests control: records every create, delete, set and
// command the route set asks for, and changes only its own rows.
#pragma once
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "session/RouteList.h"
#include "session/RouteSet.h"
#include "session/RouteSystem.h"

namespace holv::test {

// Dotted text to network order.
inline uint32_t Ip(const char* dotted) {
    unsigned a = 0, b = 0, c = 0, d = 0;
    std::sscanf(dotted, "%u.%u.%u.%u", &a, &b, &c, &d);
    return HostToNet32((a << 24) | (b << 16) | (c << 8) | d);
}

inline RoutePair Pair(const char* destination, const char* mask = "255.255.255.255") {
    return {Ip(destination), Ip(mask)};
}

class FakeRouteSystem : public RouteSystem {
public:
    enum Kind { Create, Delete, Set };
    struct Call {
        Kind kind;
        ForwardRow row;
    };

    // What the table holds and how the fake answers.
    std::vector<ForwardRow> table;
    uint32_t bestInterface = 7;
    int bestInterfaceResult = 0;
    std::optional<uint32_t> interfaceMetric = 20;
    int majorVersion = 6;
    bool tableReadable = true;
    bool hasFlush = true;
    int commandResult = 0;
    std::set<uint32_t> refusedDestinations;  // network order

    // What the route set asked for.
    std::vector<Call> calls;
    std::vector<std::string> commands;
    int flushes = 0;
    int tableReads = 0;

    // Rows as the system holds them: no two with the same destination, mask,
    // next hop and interface.
    static bool SameRoute(const ForwardRow& a, const ForwardRow& b) {
        return a.destination == b.destination && a.mask == b.mask && a.nextHop == b.nextHop && a.ifIndex == b.ifIndex;
    }

    int GetBestInterface(uint32_t, uint32_t* ifIndex) override {
        if (bestInterfaceResult == 0) *ifIndex = bestInterface;
        return bestInterfaceResult;
    }
    int GetForwardTable(std::vector<ForwardRow>& rows) override {
        ++tableReads;
        if (!tableReadable) return 1168;
        rows = table;
        return 0;
    }
    int CreateForwardEntry(const ForwardRow& row) override {
        calls.push_back({Create, row});
        if (refusedDestinations.count(row.destination)) return 5;
        for (const ForwardRow& r : table)
            if (SameRoute(r, row)) return 5010;  // already exists
        table.push_back(row);
        return 0;
    }
    int DeleteForwardEntry(const ForwardRow& row) override {
        calls.push_back({Delete, row});
        auto it = std::find_if(table.begin(), table.end(), [&](const ForwardRow& r) { return SameRoute(r, row); });
        if (it == table.end()) return 1168;
        table.erase(it);
        return 0;
    }
    // The broadcast row is found by destination, mask and interface.
    int SetForwardEntry(const ForwardRow& row) override {
        calls.push_back({Set, row});
        for (ForwardRow& r : table) {
            if (r.destination == row.destination && r.mask == row.mask && r.ifIndex == row.ifIndex) {
                r.metric[0] = row.metric[0];
                return 0;
            }
        }
        return 1168;
    }
    std::optional<uint32_t> GetInterfaceMetric(uint32_t) override { return interfaceMetric; }
    int GetMajorVersion() override { return majorVersion; }
    int RunCommandLine(const char* commandLine) override {
        commands.push_back(commandLine);
        return commandResult;
    }
    std::unique_ptr<ResolverFlush> OpenResolverFlush() override {
        if (!hasFlush) return nullptr;
        return std::make_unique<CountingFlush>(flushes);
    }

    int Count(Kind kind) const {
        return static_cast<int>(
            std::count_if(calls.begin(), calls.end(), [&](const Call& c) { return c.kind == kind; }));
    }
    // Destinations (with masks) of the calls of one kind, in call order.
    std::vector<RoutePair> PairsOf(Kind kind) const {
        std::vector<RoutePair> out;
        for (const Call& c : calls)
            if (c.kind == kind) out.push_back({c.row.destination, c.row.mask});
        return out;
    }
    // The rows that go through `gateway`.
    std::vector<RoutePair> RoutesThrough(uint32_t gateway) const {
        std::vector<RoutePair> out;
        for (const ForwardRow& r : table)
            if (r.nextHop == gateway) out.push_back({r.destination, r.mask});
        SortRoutePairs(out);
        return out;
    }
    const ForwardRow* BroadcastRowOf(uint32_t ifIndex) const {
        for (const ForwardRow& r : table)
            if (r.destination == 0xFFFFFFFFu && r.mask == 0xFFFFFFFFu && r.ifIndex == ifIndex) return &r;
        return nullptr;
    }
    void ForgetCalls() {
        calls.clear();
        commands.clear();
        flushes = 0;
    }

    // An ordinary row of the system's own.
    static ForwardRow SystemRoute(const char* destination, const char* mask, const char* nextHop, uint32_t ifIndex) {
        ForwardRow r;
        r.destination = Ip(destination);
        r.mask = Ip(mask);
        r.nextHop = Ip(nextHop);
        r.ifIndex = ifIndex;
        r.type = 4;
        r.proto = 2;
        r.metric[0] = 25;
        return r;
    }

private:
    class CountingFlush : public ResolverFlush {
    public:
        explicit CountingFlush(int& count) : count_(count) {}
        void Flush() override { ++count_; }

    private:
        int& count_;
    };
};

// Route lists handed out as the appliance would, or a failed read.
class FakeRouteLists : public RouteListSource {
public:
    std::string lists[2] = {"0000", "0000"};
    int failing = -1;                   // index of the list whose read fails
    std::optional<int> reportedLength;  // a length the source claims it stored
    int reads = 0;
    uint8_t lastMac[6] = {};

    int ReadRouteList(const uint8_t mac[6], int index, char* buffer, int& length) override {
        ++reads;
        std::copy(mac, mac + 6, lastMac);
        if (index == failing) return 3;
        const std::string& text = lists[index];
        int n = static_cast<int>(std::min<size_t>(text.size(), static_cast<size_t>(length)));
        std::copy(text.data(), text.data() + n, buffer);
        length = reportedLength ? *reportedLength : n;
        return 0;
    }
};

}  // namespace holv::test
