// The VirtualBox command lines: the VM and its host adapter have fixed names,
// and the VM is made from the VMware VM's disks, UUID and MAC address, so the
// appliance keeps its identity whichever hypervisor runs it.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace holv {

inline constexpr char kVBoxVmName[] = "Holvenstead";
inline constexpr char kVBoxTool[] = "VBoxManage.exe";
inline constexpr char kVBoxMachineFile[] = "Machines\\Holvenstead\\Holvenstead.xml";
inline constexpr char kVBoxListCommand[] = "VBoxManage list hostifs";

// How long each command line may take (ms); a tool still running then is
// ended and its step goes on as when it fails. Every call waits on the one
// UI thread, so none is above two minutes; each fits what the tool does. The
// listing's bound is the captured command's (kCaptureWaitMs, one minute).
inline constexpr int kVBoxRepairWaitMs = 60000;          // re-registrations, the kernel module
inline constexpr int kVBoxCreateAdapterWaitMs = 120000;  // a new network device and its driver
inline constexpr int kVBoxCreateVmWaitMs = 30000;        // each line that makes the VM
inline constexpr int kVBoxAdapterSwitchWaitMs = 30000;   // enablehostif, disablehostif
inline constexpr int kVBoxPowerOffWaitMs = 10000;        // controlvm ... poweroff

// "xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx", lowercase, bytes in text order.
std::string VBoxUuidText(const uint8_t uuid[16]);
// Twelve uppercase hex digits, no separators.
std::string VBoxMacText(const uint8_t mac[6]);

// Re-registration of VirtualBox's service and components and a reinstall of
// its kernel module: for a VirtualBox copied beside the VM, never installed.
const std::vector<std::string>& VBoxRepairCommands();
std::string VBoxCreateAdapterCommand();
// Creates and registers the VM; empty texts leave the UUID to VirtualBox and
// make it choose a MAC address ("auto").
std::vector<std::string> VBoxCreateVmCommands(const std::string& uuidText, const std::string& macText);

std::string VBoxEnableAdapterCommand();
std::string VBoxDisableAdapterCommand();
// The windowed front end when shown, else the headless one.
std::string VBoxFrontEndCommand(bool show);
std::string VBoxPowerOffCommand();

// The files of the VirtualBox kept beside the VM that the program runs,
// loads or installs from the VM's folder.
const std::vector<std::string>& VBoxFolderFiles();

// A line of the above with VirtualBox's own files named by their full path
// in folder (the VM's): the program a line starts and the component
// regsvr32 registers are found there and nowhere else. Other words stay.
std::string VBoxLineInFolder(const std::string& folder, const std::string& line);

}  // namespace holv
