// The hypervisor's network editor, found beside the player that the
// "VMware.Document" file association starts.
#pragma once
#include <optional>
#include <string>

namespace holv {

inline constexpr char kNetConfigProgram[] = "vmnetcfg.exe";
// The association is read into a buffer of this many bytes.
inline constexpr unsigned kAssociationSize = 256;

// The command line of the network editor derived from the association's
// command text: everything after the last '\' or '/' (the scan ends at the
// first blank outside quotes) is replaced by "vmnetcfg.exe", closed with the
// quote that was open at that separator. So "\"C:\\P\\vmplayer.exe\" \"%1\""
// gives "\"C:\\P\\vmnetcfg.exe\"". Empty or null text gives "vmnetcfg.exe".
std::string NetConfigCommandFrom(const char* associationText);

#ifdef _WIN32
// The default value of HKEY_LOCAL_MACHINE
// "SOFTWARE\Classes\VMware.Document\shell\open\command" (never the user's
// classes: the command runs elevated); none when the key or value cannot be read or holds no text.
std::optional<std::string> ReadPlayerAssociation();
#endif

}  // namespace holv
