// Rules of the VMware Player backend that need no Windows: the player's
// command line from its file association, the log's path, the log's pid.
#pragma once
#include <string>

namespace holv {

inline constexpr size_t kAssociationBufferSize = 256;

// The "VMware.Document" open command made into the player's command line for
// the configuration file: its one "%1" becomes the path, or, without any
// '%', the quoted path is appended. Empty when the command does not start
// the player or is malformed ('%' not followed by '1', a second '%', no room
// to append within the 256-byte value).
std::string PlayerCommandFromAssociation(const std::string& association, const std::string& configPath);

// Folder of the configuration file (up to its last '\') + "vmware.log".
std::string PlayerLogPath(const std::string& configPath);

// The decimal number after " pid=" on the log's first line; 0 when none.
unsigned long PidFromLogLine(const char* line);

}  // namespace holv
