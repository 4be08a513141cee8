#include "backends/Cvmx.h"

namespace holv {

// The exchange with the appliance joins with its protocol; until then the
// VM only ever reaches Starting.
int Cvmx::SessionStep() { return state; }

}  // namespace holv
