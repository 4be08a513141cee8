// The driver-signing guard around the TAP driver's installation: the policy
// values it relaxes are saved exactly as they were (also "not there"), first
// into the host-change journal, then relaxed, and put back when the guard
// goes. A run killed inside the guard leaves the journal, and the next start
// puts the values back from it (RestoreDriverSigningFromJournal).
#pragma once
#include <vector>

#include "backends/PolicyValueText.h"

namespace holv {

class CDriverSign {
public:
    CDriverSign();
    virtual ~CDriverSign();
    CDriverSign(const CDriverSign&) = delete;
    CDriverSign& operator=(const CDriverSign&) = delete;

private:
    struct Saved {
        int slot;
        SavedPolicyValue value;
    };
    std::vector<Saved> saved_;
};

// Puts back the values a run that did not end cleanly left relaxed, and
// clears their journal entries; entries it cannot use are dropped.
void RestoreDriverSigningFromJournal();

}  // namespace holv
