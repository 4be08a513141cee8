#include "base/HostAddressCache.h"

namespace holv {

bool HostAddressesStale(const HostAddressCache& cache, uint32_t changes, uint64_t nowMs) {
    if (!cache.held || cache.changesSeen != changes) return true;
    // A clock that went backwards is no proof of a fresh copy.
    return nowMs < cache.readAtMs || nowMs - cache.readAtMs >= kHostAddressMaxAgeMs;
}

}  // namespace holv
