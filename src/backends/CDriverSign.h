// The driver-signing guard around the TAP driver's installation: the policy
// values it relaxes are saved exactly as they were (also "not there"), first
// into the host-change journal, then relaxed, and put back when the guard
// goes. A run killed inside the guard leaves the journal, and the next start
// puts the values back from it (RestoreDriverSigningFromJournal). Each entry
// names its run, and a user's value the user's SID: it goes back into that
// user's hive, not into whoever runs next.
#pragma once
#include <vector>

#include "backends/PolicyValueText.h"
#include "base/Unique.h"

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
    UniqueHandle guard_;  // the guard's mutex, held until the values are back
    std::vector<Saved> saved_;
};

// The moments of the guard, for each value (slot: its index): its way back
// is on record, it is relaxed, it is back (its entry not yet erased). A test
// stops the program there as a kill would and shows what the next start puts
// back; null in the program.
enum class DriverSignStep { Saved, Relaxed, Restored };
using DriverSignStepHook = void (*)(DriverSignStep step, int slot);
void SetDriverSignStepHook(DriverSignStepHook hook);

// Puts back the values a run that did not end cleanly (and no longer runs)
// left relaxed, and clears their journal entries; entries it cannot use are
// dropped, those of a user whose hive is not loaded kept.
void RestoreDriverSigningFromJournal();

}  // namespace holv
