// The backend's side of the session with the appliance: the record is the
// backend's, the exchange itself lives with the session.
#include "backends/Cvmx.h"
#include "session/HostName.h"

namespace holv {

int Cvmx::SessionStep() {
    int result = RunSessionStep(session, *this);
    // Contact lost (or not yet made): the host's network may be why, so the
    // first check after contact returns reads the addresses afresh.
    if (state < StateRunning) ForgetHostAddresses(hostAddresses);
    return result;
}

void Cvmx::CarryOutAction(const std::string& text) {
    holv::CarryOutAction(session, text);
}

SessionExit Cvmx::TakeExitRequest() {
    SessionExit request = session.exitRequest;
    session.exitRequest = SessionExitNone;
    return request;
}

int Cvmx::RegisterHostName(int options) {
    return holv::RegisterHostName(session, *this, options);
}

}  // namespace holv
