// Rules of the VMware backends that need no Windows: the hypervisor's
// command line from the "VMware.Document" file association, the VM log's
// path, and the process id the log names.
#pragma once
#include <cstddef>
#include <string>

namespace holv {

inline constexpr size_t kAssociationBufferSize = 256;

// What a VMware backend asks of the association: the program it must start,
// and options that go right before the quoted configuration path.
struct VmwareProgramRule {
    const char* program;  // a substring the command must hold (case-sensitive)
    const char* options;  // "" or options ending in a blank, such as "-xq "
};
inline constexpr VmwareProgramRule kPlayerProgram{"vmplayer.exe", ""};
inline constexpr VmwareProgramRule kWorkstationProgram{"vmware.exe", "-xq "};

// The association's open command made into the command line for the
// configuration file. With a '%': it must be the only one and start "%1",
// which becomes the path; with options, the placeholder must be quoted
// ("\"%1\"") and the options go before its opening quote. Without a '%': a
// blank, the options and the quoted path are appended. Either way the text
// must stay within the 256-byte value (n + 5 + options below 256 when
// appending, n + options below 256 when inserting). Empty when the command
// does not start the program or breaks a rule.
std::string VmwareCommandFromAssociation(const std::string& association, const std::string& configPath,
                                         const VmwareProgramRule& rule);

// Folder of the configuration file (up to its last '\') + "vmware.log".
std::string VmwareLogPath(const std::string& configPath);

// The decimal number after " pid=" on the log's first line; 0 when none.
unsigned long PidFromLogLine(const char* line);

}  // namespace holv
