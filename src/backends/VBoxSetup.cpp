#include "backends/VBoxSetup.h"

#include "backends/VBoxCommands.h"

namespace holv {
namespace {

constexpr int kNotInstalled = 1060;  // ERROR_SERVICE_DOES_NOT_EXIST
constexpr char kAdapterListed[] = "Holvenstead Adapter";

}  // namespace

int VBoxSetup::CheckInstall(VBoxSetupHost& host) {
    if (!host.ToolPresent()) return kNotInstalled;
    if (level_ < SetupRepaired) Repair(host);
    if (level_ < SetupAdapter) host.WithDriverSigningRelaxed([&] { CreateAdapter(host); });
    if (level_ < SetupVm) CreateVm(host);
    return 0;
}

// The listing is the one thing that tells whether VirtualBox works here; it
// also shows whether the adapter exists.
int VBoxSetup::ListHostAdapters(VBoxSetupHost& host) {
    std::string output;
    int rc = host.RunCaptured(kVBoxListCommand, output);
    if (rc == 0 && output.find(kAdapterListed) != std::string::npos) Raise(SetupAdapter);
    return rc;
}

void VBoxSetup::Repair(VBoxSetupHost& host) {
    if (ListHostAdapters(host) == 0) return;
    for (const std::string& line : VBoxRepairCommands()) host.Run(line, kVBoxRepairWaitMs);
    Raise(SetupRepaired);
}

// The driver is installed only when the adapter cannot be had without it.
// Either way a last listing decides: it alone tells that VirtualBox still
// works with the adapter in place.
void VBoxSetup::CreateAdapter(VBoxSetupHost& host) {
    bool haveAdapter = false;
    if (ListHostAdapters(host) == 0) {
        haveAdapter = level_ >= SetupAdapter;
        if (!haveAdapter) {
            host.Run(VBoxCreateAdapterCommand(), kVBoxCreateAdapterWaitMs);
            haveAdapter = ListHostAdapters(host) == 0 && level_ >= SetupAdapter;
        }
    }
    if (!haveAdapter) host.InstallTapDriver();
    if (ListHostAdapters(host) != 0) {
        Raise(SetupGivenUp);
    } else if (level_ < SetupAdapter) {
        host.Run(VBoxCreateAdapterCommand(), kVBoxCreateAdapterWaitMs);
        Raise(SetupAdapter);
    }
}

void VBoxSetup::CreateVm(VBoxSetupHost& host) {
    if (host.MachineFileExists()) {
        Raise(SetupVm);
        return;
    }
    std::string uuidText, macText;
    if (auto uuid = host.MachineUuid()) uuidText = VBoxUuidText(uuid->data());
    if (auto mac = host.VmwareMac()) macText = VBoxMacText(mac->data());
    for (const std::string& line : VBoxCreateVmCommands(uuidText, macText)) host.Run(line, kVBoxCreateVmWaitMs);
    Raise(SetupVm);
}

}  // namespace holv
