#pragma once
#include <memory>
#include <string>

namespace holv {

class Cvmx;

// Tries the hypervisors in their fixed order and keeps the first whose
// configuration loads (VMware Server also when its services are down, 1062).
// Returns that load's code; with no backend kept, the last candidate's error.
int SelectBackend(const std::string& configPath, std::unique_ptr<Cvmx>& out);

}  // namespace holv
