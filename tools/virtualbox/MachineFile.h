// The VM's settings file, "Machines\<name>\<name>.xml" in VirtualBox's home
// folder, as createvm writes it and modifyvm changes it. It holds what the
// program reads back: the machine's UUID on its <Machine> line, and each
// network adapter on one <Adapter slot="N" ... MACAddress="..."> line.
#pragma once
#include <string>
#include <vector>

namespace holv::vbox {

std::string MachineFilePath(const std::string& vmName);
bool MachineExists(const std::string& vmName);

// createvm: a new machine with four adapters, each with a fresh MAC address;
// uuid as given (hex digits and '-'), or a fresh one when empty. Returns 0,
// or 1 with a message for VirtualBox's error output.
int CreateMachine(const std::string& vmName, const std::string& uuid, std::string* error);
// modifyvm: applies the network options (-nicN, -hostifdevN, -macaddressN,
// -natnetN); the others are accepted and left to the trace. Same results.
int ModifyMachine(const std::string& vmName, const std::vector<std::string>& options, std::string* error);

}  // namespace holv::vbox
