// The first-time setup of a VirtualBox kept beside the VM: repair of a
// VirtualBox that was copied rather than installed, the host adapter (with
// its TAP driver when needed) and the VM itself. Its progress only rises, so
// the many later calls cost one file lookup.
#pragma once
#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace holv {

enum VBoxSetupLevel : int {
    SetupNothing = 0,
    SetupRepaired = 1,  // the repair command lines were run
    SetupAdapter = 2,   // "Holvenstead Adapter" exists
    SetupVm = 3,        // the VM is registered
    SetupGivenUp = 4,   // the listing still failed after the driver step
};

// What the setup does to the machine; the real one runs VirtualBox's tools
// in the current folder.
class VBoxSetupHost {
public:
    virtual ~VBoxSetupHost() = default;
    virtual bool ToolPresent() = 0;
    // Runs the line and returns its result (0: it ran and succeeded) with
    // its output.
    virtual int RunCaptured(const std::string& line, std::string& output) = 0;
    // Runs the line to its end, or ends it after waitMs; the result tells
    // nothing the setup uses.
    virtual void Run(const std::string& line, int waitMs) = 0;
    virtual bool MachineFileExists() = 0;
    virtual std::optional<std::array<uint8_t, 16>> MachineUuid() = 0;
    virtual std::optional<std::array<uint8_t, 6>> VmwareMac() = 0;
    // Runs the step with the driver-signing policy relaxed, restored after.
    virtual void WithDriverSigningRelaxed(const std::function<void()>& step) = 0;
    // Copies the TAP driver's INF into the driver store and installs it on
    // the present TAP devices.
    virtual void InstallTapDriver() = 0;
};

class VBoxSetup {
public:
    // 1060 when VirtualBox's tool is not in the folder, else 0, whatever the
    // steps achieved.
    int CheckInstall(VBoxSetupHost& host);
    int Level() const { return level_; }

private:
    int ListHostAdapters(VBoxSetupHost& host);
    void Repair(VBoxSetupHost& host);
    void CreateAdapter(VBoxSetupHost& host);
    void CreateVm(VBoxSetupHost& host);
    void Raise(int level) {
        if (level_ < level) level_ = level;
    }

    int level_ = SetupNothing;
};

}  // namespace holv
