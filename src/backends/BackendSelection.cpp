#include "backends/BackendSelection.h"

#include <windows.h>

#include "backends/Cvmx.h"
#include "backends/CvmxPlayer.h"
#include "backends/CvmxServer.h"
#include "backends/CvmxVBox.h"
#include "backends/CvmxWorkstation.h"

namespace holv {
namespace {

struct Candidate {
    std::unique_ptr<Cvmx> (*make)();
    bool keptWhenServicesDown;
};

template <typename T>
std::unique_ptr<Cvmx> Make() {
    return std::make_unique<T>();
}

// VirtualBox, Player, Server, Workstation: the hypervisors that exist so far,
// in that order.
const Candidate kCandidates[] = {
    {&Make<CvmxVBox>, false},
    {&Make<CvmxPlayer>, false},
    {&Make<CvmxServer>, true},
    {&Make<CvmxWorkstation>, false},
};

}  // namespace

int SelectBackend(const std::string& configPath, std::unique_ptr<Cvmx>& out) {
    int code = ERROR_SERVICE_DOES_NOT_EXIST;
    for (const Candidate& candidate : kCandidates) {
        out = candidate.make();
        code = out->LoadVmConfig(configPath);
        if (code == 0 || (code == ERROR_SERVICE_NOT_ACTIVE && candidate.keptWhenServicesDown)) return code;
        out.reset();
    }
    return code;
}

}  // namespace holv
