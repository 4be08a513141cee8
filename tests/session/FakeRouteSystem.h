// A route table the tests control: records every create, delete and set
// the route set asks for, and changes only its own rows.
#pragma once
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <map>
#include <memory>
#include <optional>
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
    std::optional<uint32_t> interfaceMetric = 20;
    bool tableReadable = true;
    bool hasFlush = true;
    uint32_t refusedDestination = 0;  // network order
    uint64_t now = 0;                 // the clock the tests move
    // Without notices (the default) every question counts as a change, so
    // the table is read at every step; with them, `changes` moves only when
    // a test says the system reported one.
    bool notices = false;
    uint32_t changes = 0;

    // What the route set asked for.
    std::vector<Call> calls;
    std::vector<std::string> reports;  // "adding 10.0.0.3 5", "removing ...", as the log would hear them
    int flushes = 0;
    int tableReads = 0;
    int foreignDeletes = 0;  // rows deleted that no route set made (protocol not 3)

    int GetBestInterface(uint32_t, uint32_t* ifIndex) override {
        *ifIndex = bestInterface;
        return 0;
    }
    int GetForwardTable(std::vector<ForwardRow>& rows) override {
        ++tableReads;
        if (!tableReadable) return 1168;
        rows = table;
        return 0;
    }
    uint32_t RouteChanges() override { return notices ? changes : ++changes; }
    int CreateForwardEntry(const ForwardRow& row) override {
        calls.push_back({Create, row});
        if (row.destination == refusedDestination) return 5;
        if (Find(row) != table.end()) return 5010;  // already there
        table.push_back(row);
        return 0;
    }
    int DeleteForwardEntry(const ForwardRow& row) override {
        calls.push_back({Delete, row});
        auto it = Find(row);
        if (it == table.end()) return 1168;
        if (it->proto != 3) ++foreignDeletes;
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
    int GetMajorVersion() override { return 6; }  // the broadcast route is set, not commanded
    int RunCommandLine(const char*) override { return 1; }
    std::unique_ptr<ResolverFlush> OpenResolverFlush() override {
        return hasFlush ? std::make_unique<CountingFlush>(flushes) : nullptr;
    }
    uint64_t NowMs() override { return now; }
    std::string ErrorText(int code) override { return "error " + std::to_string(code); }
    void ReportFailure(bool undo, const char* what, const ForwardRow& row, int error) override {
        char line[80];
        std::snprintf(line, sizeof line, "%s%s %u.%u.%u.%u %d", undo ? "undo " : "", what, row.destination & 0xFF,
                      (row.destination >> 8) & 0xFF, (row.destination >> 16) & 0xFF, row.destination >> 24, error);
        reports.push_back(line);
    }

    int Count(Kind kind) const { return static_cast<int>(PairsOf(kind).size()); }
    // Destinations (with masks) of the calls of one kind, in call order.
    std::vector<RoutePair> PairsOf(Kind kind) const {
        std::vector<RoutePair> out;
        for (const Call& c : calls)
            if (c.kind == kind) out.push_back({c.row.destination, c.row.mask});
        return out;
    }
    // The rows that go through `gateway`, sorted.
    std::vector<RoutePair> RoutesThrough(uint32_t gateway) const {
        std::vector<RoutePair> out;
        for (const ForwardRow& r : table)
            if (r.nextHop == gateway) out.push_back({r.destination, r.mask});
        SortRoutePairs(out);
        return out;
    }
    uint32_t BroadcastMetricOf(uint32_t ifIndex) const {
        for (const ForwardRow& r : table)
            if (r.destination == 0xFFFFFFFFu && r.mask == 0xFFFFFFFFu && r.ifIndex == ifIndex) return r.metric[0];
        return 0;
    }
    void ForgetCalls() {
        calls.clear();
        flushes = 0;
    }

    // An ordinary row of the system's own.
    static ForwardRow SystemRoute(const char* destination, const char* mask, const char* nextHop, uint32_t ifIndex,
                                  uint32_t type = 4, uint32_t metric = 25) {
        ForwardRow r;
        r.destination = Ip(destination);
        r.mask = Ip(mask);
        r.nextHop = Ip(nextHop);
        r.ifIndex = ifIndex;
        r.type = type;
        r.proto = 2;
        r.metric[0] = metric;
        return r;
    }

private:
    // Rows as the system holds them: no two with the same destination, mask,
    // next hop and interface.
    std::vector<ForwardRow>::iterator Find(const ForwardRow& row) {
        return std::find_if(table.begin(), table.end(), [&](const ForwardRow& r) {
            return r.destination == row.destination && r.mask == row.mask && r.nextHop == row.nextHop &&
                   r.ifIndex == row.ifIndex;
        });
    }
    class CountingFlush : public ResolverFlush {
    public:
        explicit CountingFlush(int& count) : count_(count) {}
        void Flush() override { ++count_; }

    private:
        int& count_;
    };
};

// The journal's routes section in memory, as the run `owner` writes it.
class FakeRouteRecord : public RouteRecord {
public:
    std::map<std::string, std::string> notes;
    JournalOwner owner{1, 100};
    int refusal = 0;  // what a write answers: 0 or a registry error

    int Note(const ForwardRow& row) override { return Put(RouteEntryName(row), RouteEntryValue(row, owner)); }
    void Forget(const ForwardRow& row) override { notes.erase(RouteEntryName(row)); }
    int NoteMetric(const ForwardRow& row, uint32_t before) override {
        return Put(MetricEntryName(row), MetricEntryValue(row, before, owner));
    }
    void ForgetMetric(const ForwardRow& row) override { notes.erase(MetricEntryName(row)); }
    std::vector<JournalEntry> Entries() const {
        std::vector<JournalEntry> out;
        for (const auto& [name, value] : notes) out.push_back({name, value});
        return out;
    }

private:
    int Put(const std::string& name, const std::string& value) {
        if (refusal) return refusal;
        notes[name] = value;
        return 0;
    }
};

// Route lists handed out as the appliance would, or a failed read.
class FakeRouteLists : public RouteListSource {
public:
    std::string lists[2] = {"0000", "0000"};
    int failing = -1;                   // index of the list whose read fails
    std::optional<int> reportedLength;  // a length the source claims it stored
    std::vector<uint8_t> mac;           // the appliance's, as last asked

    int ReadRouteList(const uint8_t applianceMac[6], int index, char* buffer, int& length) override {
        mac.assign(applianceMac, applianceMac + 6);
        if (index == failing) return 3;
        const std::string& text = lists[index];
        int n = static_cast<int>(std::min<size_t>(text.size(), static_cast<size_t>(length)));
        std::copy(text.data(), text.data() + n, buffer);
        length = reportedLength ? *reportedLength : n;
        return 0;
    }
};

}  // namespace holv::test
