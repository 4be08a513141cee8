// The appliance's network identity as the VM's files record it: the MAC
// address of its first adapter (and, for VirtualBox, the second adapter's
// address as the name of the IMC pipe) and the VM's UUID.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

namespace holv {

// The VirtualBox machine file, relative to the VM's folder (the current one).
#ifdef _WIN32
inline constexpr char kVBoxMachineFile[] = "Machines\\Holvenstead\\Holvenstead.xml";
#else
inline constexpr char kVBoxMachineFile[] = "Machines/Holvenstead/Holvenstead.xml";
#endif
// Piece sizes in which the machine file is read.
inline constexpr size_t kAdapterPieceSize = 256;
inline constexpr size_t kMachinePieceSize = 128;
inline constexpr size_t kPipeNameSize = 32;
inline constexpr int kNoIdentity = 1228;

// "00:0c:29:aa:bb:cc": six bytes of exactly two hex digits, each optionally
// followed by one ':'. mac is written only on success.
bool ParseMacText(const char* text, uint8_t mac[6]);

// "56 4d 8a ... 50-61 ...": from the first hex digit, sixteen pairs of hex
// digits, each optionally followed by one blank or one '-'. Bytes in text
// order. uuid is written only on success.
bool ParseUuidText(const char* text, uint8_t uuid[16]);

// One piece of the VirtualBox machine file looked at for an adapter:
// "<Adapter slot=\"N\" ... MACAddress=\"0800271A2B3C\"".
struct AdapterLine {
    int slot = -1;           // 0 or 1 when the piece names such an adapter
    bool hasMac = false;     // a MACAddress attribute follows on the piece
    bool macParsed = false;  // and it held six hex pairs
    uint8_t mac[6] = {};
};
// True when the piece holds an adapter of slot 0 or 1 with a MACAddress
// attribute (out tells whether the address parsed).
bool ScanAdapterLine(const char* piece, AdapterLine* out);

enum MachineLine { MachineLineNone, MachineLineBad, MachineLineUuid };
// "<Machine uuid=\"{xxxxxxxx-xxxx-...": the sixteen bytes after the brace.
MachineLine ScanMachineLine(const char* piece, uint8_t uuid[16]);

// 12 lowercase hex digits: the name of the appliance's IMC pipe.
void FormatPipeName(const uint8_t mac[6], char pipeName[kPipeNameSize]);

// Fills mac (and for VirtualBox pipeName) from the configuration file's
// "ethernet0.generatedAddress", or with vbox from the machine file's adapters
// of slot 0 and 1. Returns 0 when the appliance's MAC address was found,
// kNoIdentity (1228) otherwise.
int ReadAdapterAddresses(const std::string& configPath, bool vbox, uint8_t mac[6], char pipeName[kPipeNameSize],
                         const char* machineFile = kVBoxMachineFile);

// "uuid.bios", else "uuid.location"; failing those and with vbox, the machine
// line of the machine file. Returns 0 with 16 bytes in uuid, else 1228.
int ReadMachineUuid(const std::string& configPath, bool vbox, uint8_t uuid[16],
                    const char* machineFile = kVBoxMachineFile);

}  // namespace holv
