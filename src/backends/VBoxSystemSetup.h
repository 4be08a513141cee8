// The first-time setup on the real machine: VirtualBox's tools in the
// current folder, the driver-signing guard and the driver installation. The
// VM's UUID and VMware MAC address come from the backend that owns this.
#pragma once
#include "backends/VBoxSetup.h"

namespace holv {

class VBoxSystemSetup : public VBoxSetupHost {
public:
    using UuidSource = std::function<std::optional<std::array<uint8_t, 16>>()>;
    using MacSource = std::function<std::optional<std::array<uint8_t, 6>>()>;
    VBoxSystemSetup(UuidSource uuid, MacSource mac) : uuid_(std::move(uuid)), mac_(std::move(mac)) {}

    bool ToolPresent() override;
    int RunCaptured(const std::string& line, std::string& output) override;
    void Run(const std::string& line, int waitMs) override;
    bool MachineFileExists() override;
    std::optional<std::array<uint8_t, 16>> MachineUuid() override { return uuid_(); }
    std::optional<std::array<uint8_t, 6>> VmwareMac() override { return mac_(); }
    void WithDriverSigningRelaxed(const std::function<void()>& step) override;
    void InstallTapDriver() override;

private:
    UuidSource uuid_;
    MacSource mac_;
};

}  // namespace holv
