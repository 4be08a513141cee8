// The simulated appliance's configuration: a key=value text file that a test
// writes and may rewrite while the simulator runs.
#pragma once
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "imc/ImcTags.h"

namespace holv {

// Variables the host reads, by their group.item.
constexpr uint32_t SimSerialKey = (512u << 16) | 640u;           // 512.640
constexpr uint32_t SimTrellisportKey = (61440u << 16) | 61456u;  // 61440.61456
constexpr uint32_t SimRkKey = (61440u << 16) | 61457u;           // 61440.61457
constexpr uint32_t SimActionKey = (61440u << 16) | 61568u;       // 61440.61568
constexpr uint32_t SimRouteGroup = 512;
constexpr uint32_t SimRouteFirstItem = 696;  // route list n: 512.(696 + n)

// One variable of the appliance's private MIB.
struct SimVariable {
    bool present = false;              // has a value, served by a Get
    uint8_t type = ImcTagOctetString;  // how the value is answered
    std::string value;                 // bytes (strings) or the text of a number, OID, address
    int getError = -1;                 // error-status for a Get; -1: 0 if present, else 2
    int setError = -1;                 // error-status for a Set; -1: the global set-error
};

struct SimConfig {
    uint8_t mac[6] = {0x00, 0x0C, 0x29, 0x12, 0x34, 0x56};
    std::string deviceName = "appliance";
    std::string productName = "Holvenstead Appliance";
    std::string firmware = "6.0.0";
    uint32_t statusFlags = 0;     // extra bits of a status reply (0x20000, 0x40000000)
    uint32_t notifyFlags = 0;     // flag word of a notification
    uint32_t replyFlagsXor = 0;   // flipped in every reply: makes replies a host must ignore
    int32_t requestIdOffset = 0;  // added to the echoed request-id (0 = a correct echo)
    int setError = 0;             // error-status of a Set unless the variable says otherwise
    bool actionSticky = false;    // serve the action on every Get instead of once
    bool shutdownPowersOff = true;
    bool acceptAnyMac = false;  // also answer commands addressed to another MAC
    bool notifyBroadcast = false;
    int replyDelayMs = 0;
    int dropNext = 0;  // requests to leave unanswered after each (re)load
    std::string powerFile;
    std::string recordFile;
    std::map<uint32_t, SimVariable> variables;  // by SimVariableKey
};

// The configuration before any file is read: serial, an empty action and two
// empty route lists; everything else unknown.
SimConfig SimDefaultConfig();

// Applies the lines of `text` to `config` (which starts from the defaults).
// Lines: "key=value", "# comment", blank. Keys are trimmed, values are taken
// exactly as written, with the escapes of SimUnescape. Problems (unknown key,
// bad value) are described in `warnings`; the line is then skipped.
void SimParseConfig(const std::string& text, SimConfig& config, std::vector<std::string>& warnings);

// "string", "integer", ... -> tag; false for an unknown name.
bool SimParseTypeName(const std::string& name, uint8_t& type);
// The tag's name as the record file writes it ("int", "string", ...).
std::string SimTypeName(uint8_t type);

}  // namespace holv
