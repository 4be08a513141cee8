#include "base/HostAddressCache.h"

#include <utility>

namespace holv {

bool HostAddressesStale(const HostAddressCache& cache, uint32_t changes, uint64_t nowMs) {
    if (!cache.held || cache.changesSeen != changes) return true;
    // A clock that went backwards is no proof of a fresh copy.
    return nowMs < cache.readAtMs || nowMs - cache.readAtMs >= kHostAddressMaxAgeMs;
}

void KeepHostAddresses(HostAddressCache& cache, std::vector<HostAddress> rows, uint32_t changes, uint64_t nowMs) {
    cache.rows = std::move(rows);
    cache.held = true;
    cache.changesSeen = changes;
    cache.readAtMs = nowMs;
}

void ForgetHostAddresses(HostAddressCache& cache) {
    cache.rows.clear();
    cache.held = false;
}

}  // namespace holv
