// The host's own addresses as the link check last read them. Reading the
// system's whole address table is most of what a session step costs, and
// the table changes seldom: it is read again only when the address watch has
// counted a change since, when the owner forgot it (contact lost, a resume
// from sleep), or when the copy is a minute old, in case a change went
// unnoticed (Wine never reports one).
#pragma once
#include <cstdint>
#include <utility>
#include <vector>

#include "base/Address.h"

namespace holv {

inline constexpr uint64_t kHostAddressMaxAgeMs = 60000;

struct HostAddressCache {
    std::vector<HostAddress> rows;
    bool held = false;
    uint32_t changesSeen = 0;  // the address watch's count when the rows were read
    uint64_t readAtMs = 0;     // a monotonic clock
};

// Whether the rows must be read again, given the watch's count now.
bool HostAddressesStale(const HostAddressCache& cache, uint32_t changes, uint64_t nowMs);

inline void KeepHostAddresses(HostAddressCache& cache, std::vector<HostAddress> rows, uint32_t changes,
                              uint64_t nowMs) {
    cache.rows = std::move(rows);
    cache.held = true;
    cache.changesSeen = changes;
    cache.readAtMs = nowMs;
}

inline void ForgetHostAddresses(HostAddressCache& cache) {
    cache.rows.clear();
    cache.held = false;
}

}  // namespace holv
