#include "session/VmxFileIdentity.h"

#include <cstdio>
#include <cstring>
#include <memory>

#include "base/FilePtr.h"
#include "base/Text.h"
#include "session/VmxFile.h"

namespace holv {
namespace {

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Two hex digits at p; the caller has checked nothing, so the second is
// read only after the first proved not to be the end of the text.
bool HexPair(const char* p, uint8_t* out) {
    int hi = HexValue(p[0]);
    if (hi < 0) return false;
    int lo = HexValue(p[1]);
    if (lo < 0) return false;
    *out = static_cast<uint8_t>(hi * 16 + lo);
    return true;
}

// Hex pairs with at most one of the given separators after each.
bool ParsePairs(const char* p, const char* separators, uint8_t* out, size_t count) {
    for (size_t i = 0; i < count; ++i) {
        if (!HexPair(p, &out[i])) return false;
        p += 2;
        if (*p != '\0' && std::strchr(separators, *p)) ++p;
    }
    return true;
}

}  // namespace

bool ParseMacText(const char* text, uint8_t mac[6]) {
    if (!text) return false;
    uint8_t bytes[6];
    const char* p = text;
    for (uint8_t& b : bytes) {
        // Exactly two digits: twelve digits without colons are not an address.
        if (!HexPair(p, &b) || HexValue(p[2]) >= 0) return false;
        p += 2;
        if (*p == ':') ++p;
    }
    std::memcpy(mac, bytes, sizeof bytes);
    return true;
}

bool ParseUuidText(const char* text, uint8_t uuid[16]) {
    if (!text) return false;
    const char* p = text;
    while (*p != '\0' && HexValue(*p) < 0) ++p;
    uint8_t bytes[16];
    if (!ParsePairs(p, " -", bytes, 16)) return false;
    std::memcpy(uuid, bytes, sizeof bytes);
    return true;
}

bool ScanAdapterLine(const char* piece, AdapterLine* out) {
    static const char kAdapter[] = "<Adapter slot=\"";
    static const char kMac[] = "MACAddress=\"";
    *out = AdapterLine{};
    const char* p = piece ? std::strstr(piece, kAdapter) : nullptr;
    if (!p) return false;
    p += sizeof kAdapter - 1;
    if (*p < '0' || *p > '9') return false;
    int slot = 0;
    // Bounded: any slot above 1 is ignored, so the digits need not be exact.
    while (*p >= '0' && *p <= '9') {
        if (slot <= 1) slot = slot * 10 + (*p - '0');
        ++p;
    }
    if (slot > 1) return false;
    const char* mac = std::strstr(p, kMac);
    if (!mac) return false;
    out->slot = slot;
    out->hasMac = true;
    out->macParsed = ParsePairs(mac + sizeof kMac - 1, "", out->mac, 6);
    return true;
}

MachineLine ScanMachineLine(const char* piece, uint8_t uuid[16]) {
    static const char kMachine[] = "<Machine uuid=\"{";
    const char* p = piece ? std::strstr(piece, kMachine) : nullptr;
    if (!p) return MachineLineNone;
    uint8_t bytes[16];
    if (!ParsePairs(p + sizeof kMachine - 1, "-", bytes, 16)) return MachineLineBad;
    std::memcpy(uuid, bytes, sizeof bytes);
    return MachineLineUuid;
}

void FormatPipeName(const uint8_t mac[6], char pipeName[kPipeNameSize]) {
    FormatText(pipeName, kPipeNameSize, "%02x%02x%02x%02x%02x%02x", mac[0], mac[1], mac[2], mac[3], mac[4], mac[5]);
}

namespace {

int ReadVBoxAdapters(const char* machineFile, uint8_t mac[6], char pipeName[kPipeNameSize]) {
    FilePtr f(std::fopen(machineFile, "r"));
    if (!f) return kNoIdentity;
    int result = kNoIdentity;
    char piece[kAdapterPieceSize];
    while (std::fgets(piece, sizeof piece, f.get())) {
        AdapterLine line;
        if (!ScanAdapterLine(piece, &line)) continue;
        if (line.slot == 0 && line.macParsed) {
            std::memcpy(mac, line.mac, 6);
            result = 0;
        } else if (line.slot == 1) {
            if (line.macParsed) FormatPipeName(line.mac, pipeName);
            break;  // the second adapter is the last one that matters
        }
    }
    return result;
}

int ReadVBoxMachineUuid(const char* machineFile, uint8_t uuid[16]) {
    FilePtr f(std::fopen(machineFile, "r"));
    if (!f) return kNoIdentity;
    char piece[kMachinePieceSize];
    while (std::fgets(piece, sizeof piece, f.get())) {
        MachineLine found = ScanMachineLine(piece, uuid);
        if (found == MachineLineUuid) return 0;
        if (found == MachineLineBad) return kNoIdentity;  // only the first such line counts
    }
    return kNoIdentity;
}

}  // namespace

int ReadAdapterAddresses(const std::string& configPath, bool vbox, uint8_t mac[6], char pipeName[kPipeNameSize],
                         const char* machineFile) {
    if (vbox) return ReadVBoxAdapters(machineFile, mac, pipeName);
    std::optional<std::string> text = ReadVmxValue(configPath, "ethernet0.generatedAddress");
    if (!text || !ParseMacText(text->c_str(), mac)) return kNoIdentity;
    return 0;
}

int ReadMachineUuid(const std::string& configPath, bool vbox, uint8_t uuid[16], const char* machineFile) {
    std::optional<std::string> text = ReadVmxValue(configPath, "uuid.bios");
    if (!text) text = ReadVmxValue(configPath, "uuid.location");
    if (text && ParseUuidText(text->c_str(), uuid)) return 0;
    if (vbox) return ReadVBoxMachineUuid(machineFile, uuid);
    return kNoIdentity;
}

}  // namespace holv
