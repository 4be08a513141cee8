// The host-side TAP adapters VirtualBox creates, as the registry shows them:
// a network class entry (NetCfgInstanceId, ProductName) and a connection
// whose "Name" is the adapter's name. These are the keys the program reads to
// find its adapter.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

namespace holv::vbox {

inline constexpr char kNetClassGuid[] = "{4D36E972-E325-11CE-BFC1-08002BE10318}";
inline constexpr char kClassKey[] = "SYSTEM\\CurrentControlSet\\Control\\Class\\{4D36E972-E325-11CE-BFC1-08002BE10318}";
inline constexpr char kNetworkKey[] =
    "SYSTEM\\CurrentControlSet\\Control\\Network\\{4D36E972-E325-11CE-BFC1-08002BE10318}";
inline constexpr char kTapProductName[] = "VirtualBox TAP Adapter";

struct HostAdapter {
    std::string name;  // the connection's name
    std::string guid;  // "{...}", upper case
};

// The TAP adapters that have a connection, in class entry order.
std::vector<HostAdapter> ListTapAdapters();
// "list hostifs" as VirtualBox prints it: a Name and a GUID line an adapter,
// each adapter followed by a blank line.
std::string FormatHostAdapters(const std::vector<HostAdapter>& adapters);
// Creates the class entry and the connection, both or neither. Returns 0 with
// the new GUID, ERROR_ALREADY_EXISTS when a TAP adapter of that name exists,
// or the registry's error.
LONG CreateTapAdapter(const std::string& name, std::string* guid);

}  // namespace holv::vbox
