#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

#include "session/SessionScratch.h"
#include "session/VmxFileIdentity.h"

using namespace holv;
using namespace holv::test;

namespace {

constexpr uint8_t kMac[6] = {0x00, 0x0c, 0x29, 0xab, 0xcd, 0xef};
constexpr uint8_t kUuid[16] = {0x56, 0x4d, 0x8a, 0x1c, 0x2b, 0x3e, 0x4f, 0x50,
                               0x61, 0x72, 0x83, 0x94, 0xa5, 0xb6, 0xc7, 0xd8};
constexpr char kUuidText[] = "56 4d 8a 1c 2b 3e 4f 50-61 72 83 94 a5 b6 c7 d8";
constexpr char kMachineLine[] = "<Machine uuid=\"{564d8a1c-2b3e-4f50-6172-8394a5b6c7d8}\" name=\"H\">\n";
constexpr char kSlot0[] = "<Adapter slot=\"0\" MACAddress=\"000C29ABCDEF\">\n";

std::string Bytes(const uint8_t* b, size_t n) {
    return std::string(reinterpret_cast<const char*>(b), n);
}
// What an output buffer holds when nothing was written to it.
const std::string kUntouched(16, '\x77');

}  // namespace

// Each row: a MAC (else UUID) text and whether it parses (into kMac / kUuid);
// a text that does not parse leaves the output as it was.
TEST(VmxIdentity, MacAndUuidTexts) {
    const struct {
        const char* text;
        bool mac, ok;
    } rows[] = {
        {"00:0c:29:AB:cd:EF", true, true},
        {"00:0c:29:ab:cd:ef:trailing", true, true},  // the colon ends each byte where a non-digit follows
        {"000c29abcdef", true, false},               // twelve digits without colons are no address
        {"00:0c29:ab:cd:ef", true, false},
        {"00:0c:29:ab:cd:eff", true, false},
        {"00::0c:29:ab:cd:ef", true, false},
        {nullptr, true, false},
        {kUuidText, false, true},
        {"  {564D8A1C-2B3E-4F50-6172-8394A5B6C7D8}", false, true},  // leading text skipped, no separator needed
        {"56  4d 8a 1c 2b 3e 4f 50 61 72 83 94 a5 b6 c7 d8", false, false},
        {"no digits at all", false, false},  // 'd' is a digit: "di" fails
        {nullptr, false, false},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.text ? r.text : "(null)");
        const size_t n = r.mac ? 6 : 16;
        uint8_t out[16];
        std::memset(out, 0x77, sizeof out);
        EXPECT_EQ(r.mac ? ParseMacText(r.text, out) : ParseUuidText(r.text, out), r.ok);
        EXPECT_EQ(Bytes(out, n), r.ok ? Bytes(r.mac ? kMac : kUuid, n) : kUntouched.substr(0, n));
    }
}

namespace {

class VmxIdentityFiles : public ::testing::Test {
protected:
    ScratchDir dir;
    std::string vmx = dir.File("Holvenstead.vmx");
    std::string machine = dir.File("Holvenstead.xml");
    uint8_t out[16] = {};
    char pipe[kPipeNameSize] = "unchanged";
};

}  // namespace

// Each row: the VM file (VMware) or machine file (VirtualBox), the result,
// and the pipe name left (slot 1's address ends the VirtualBox scan).
TEST_F(VmxIdentityFiles, AdapterAddresses) {
    const std::string slot1 = "<Adapter slot=\"1\" MACAddress=\"0800271A2B3C\">\n";
    const struct {
        bool vbox;
        std::string text;
        int result;
        const char* pipe;
    } rows[] = {
        {false, "config.version = \"8\"\nEthernet0.GeneratedAddress = \"00:0c:29:ab:cd:ef\"\n", 0, "unchanged"},
        {false, "ethernet0.generatedAddress = \"000c29abcdef\"\n", kNoIdentity, "unchanged"},
        {false, "config.version = \"8\"\n", kNoIdentity, "unchanged"},
        {true, "<?xml version=\"1.0\"?>\n" + std::string(kSlot0) + slot1, 0, "0800271a2b3c"},
        {true, slot1 + kSlot0, kNoIdentity, "0800271a2b3c"},  // slot 0 after slot 1 is not looked at
        {true, "<Adapter slot=\"1\" MACAddress=\"08002\">\n" + std::string(kSlot0), kNoIdentity, "unchanged"},
        // A slot-1 line without an address does not end the scan; higher slots are ignored.
        {true, "<Adapter slot=\"1\">\n<Adapter slot=\"2\" MACAddress=\"111111111111\">\n" + std::string(kSlot0), 0,
         "unchanged"},
        {true, std::string("\0\0\xff junk\n", 9) + std::string(5000, 'z'), kNoIdentity, "unchanged"},
        // Slots above 1, bad slot numbers, an address before the slot: no adapter.
        {true, "<Adapter slot=\"2\" MACAddress=\"000C29ABCDEF\">", kNoIdentity, "unchanged"},
        {true, "<Adapter slot=\"10\" MACAddress=\"000C29ABCDEF\">", kNoIdentity, "unchanged"},
        {true, "<Adapter slot=\"99999999999999999999999\" MACAddress=\"000C29ABCDEF\">", kNoIdentity, "unchanged"},
        {true, "<Adapter slot=\"x0\" MACAddress=\"000C29ABCDEF\">", kNoIdentity, "unchanged"},
        {true, "MACAddress=\"000C29ABCDEF\" <Adapter slot=\"0\">", kNoIdentity, "unchanged"},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.text.substr(0, 60));
        std::filesystem::remove(r.vbox ? vmx : machine);
        WriteBytes(r.vbox ? machine : vmx, r.text);
        std::memset(out, 0x77, sizeof out);
        std::strcpy(pipe, "unchanged");
        EXPECT_EQ(ReadAdapterAddresses(vmx, r.vbox, out, pipe, machine.c_str()), r.result);
        EXPECT_EQ(Bytes(out, 6), r.result == 0 ? Bytes(kMac, 6) : kUntouched.substr(0, 6));
        EXPECT_STREQ(pipe, r.pipe);
    }
    for (bool vbox : {false, true})
        EXPECT_EQ(ReadAdapterAddresses(dir.File("missing"), vbox, out, pipe, dir.Path().string().c_str()), kNoIdentity);
}

// Each row: the VM file, the machine file, whether VirtualBox's is looked at,
// and whether the UUID is found.
TEST_F(VmxIdentityFiles, UuidFromBiosElseLocationElseVBoxMachine) {
    const std::string bios = std::string("UUID.BIOS = \"") + kUuidText + "\"\n";
    const std::string location = std::string("uuid.location = \"") + kUuidText + "\"\n";
    const struct {
        std::string vmx, machine;
        bool vbox, found;
    } rows[] = {
        {"uuid.location = \"00 00 00 00 00 00 00 00-00 00 00 00 00 00 00 00\"\n" + bios, "", false, true},
        {location, "", false, true},
        {"uuid.bios = \"56 4d\"\n" + location, "", false, false},  // a broken bios UUID is not replaced
        {"config.version = \"8\"\n", kMachineLine, false, false},
        {"config.version = \"8\"\n", std::string("<VirtualBox>\n  ") + kMachineLine, true, true},
        {"", std::string("<Machine uuid=\"{564d8a1c}\">\n") + kMachineLine, true, false},  // the first one counts
        {"", "<Machine uuid=\"564d8a1c-2b3e-4f50-6172-8394a5b6c7d8\">\n", true, false},    // no brace
        {"", "", true, false},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.vmx + r.machine);
        WriteBytes(vmx, r.vmx);
        WriteBytes(machine, r.machine);
        std::memset(out, 0x77, sizeof out);
        EXPECT_EQ(ReadMachineUuid(vmx, r.vbox, out, machine.c_str()), r.found ? 0 : kNoIdentity);
        EXPECT_EQ(Bytes(out, 16), r.found ? Bytes(kUuid, 16) : kUntouched);
    }
}
