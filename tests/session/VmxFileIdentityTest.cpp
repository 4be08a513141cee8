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

bool Same(const uint8_t* a, const uint8_t* b, size_t n) {
    return std::memcmp(a, b, n) == 0;
}

}  // namespace

// Each row: a MAC or UUID text and whether it parses (into kMac / kUuid); a
// text that does not parse leaves the output as it was.
TEST(VmxIdentity, MacAndUuidTexts) {
    const struct {
        const char* text;
        bool ok;
    } macs[] =
        {
            {"00:0c:29:AB:cd:EF", true},
            {"00:0c:29:ab:cd:ef:trailing", true},  // the colon ends each byte where a non-digit follows
            {"000c29abcdef", false},               // twelve digits without colons are no address
            {"00:0c29:ab:cd:ef", false},
            {"00:0c:29:ab:cd:eff", false},
            {"00:0c:29:ab:cd", false},
            {"00:0c:29:ab:cd:", false},
            {"0:0c:29:ab:cd:ef", false},
            {" 0:0c:29:ab:cd:ef", false},
            {"0x:0c:29:ab:cd:ef", false},
            {"00::0c:29:ab:cd:ef", false},
            {"", false},
            {nullptr, false},
        },
      uuids[] = {
          {"56 4d 8a 1c 2b 3e 4f 50-61 72 83 94 a5 b6 c7 d8", true},
          {"  {564D8A1C-2B3E-4F50-6172-8394A5B6C7D8}", true},  // leading text skipped, no separator needed
          {"56  4d 8a 1c 2b 3e 4f 50 61 72 83 94 a5 b6 c7 d8", false},
          {"56 4d 8a 1c 2b 3e 4f 50 61 72 83 94 a5 b6 c7", false},
          {"56 4d 8a 1c 2b 3e 4f 50 61 72 83 94 a5 b6 c7 d", false},
          {"56-:4d", false},
          {"no digits at all", false},  // 'd' is a digit: "di" fails
          {"", false},
          {nullptr, false},
      };
    for (const auto& m : macs) {
        uint8_t mac[6];
        std::memset(mac, 0x77, sizeof mac);
        const uint8_t untouched[6] = {0x77, 0x77, 0x77, 0x77, 0x77, 0x77};
        EXPECT_EQ(ParseMacText(m.text, mac), m.ok) << (m.text ? m.text : "(null)");
        EXPECT_TRUE(Same(mac, m.ok ? kMac : untouched, 6)) << (m.text ? m.text : "(null)");
    }
    for (const auto& u : uuids) {
        uint8_t uuid[16], untouched[16];
        std::memset(uuid, 0x77, sizeof uuid);
        std::memset(untouched, 0x77, sizeof untouched);
        EXPECT_EQ(ParseUuidText(u.text, uuid), u.ok) << (u.text ? u.text : "(null)");
        EXPECT_TRUE(Same(uuid, u.ok ? kUuid : untouched, 16)) << (u.text ? u.text : "(null)");
    }
}

TEST(VmxIdentity, AdapterLineGivesSlotAndAddress) {
    AdapterLine line;
    ASSERT_TRUE(ScanAdapterLine(
        "    <Adapter slot=\"1\" enabled=\"true\" MACAddress=\"0800271A2B3C\" type=\"82540EM\">\n", &line));
    EXPECT_EQ(line.slot, 1);
    ASSERT_TRUE(line.macParsed);
    const uint8_t expected[6] = {0x08, 0x00, 0x27, 0x1a, 0x2b, 0x3c};
    EXPECT_TRUE(Same(line.mac, expected, 6));
    char pipe[kPipeNameSize];
    std::memset(pipe, 'G', sizeof pipe);
    FormatPipeName(line.mac, pipe);
    EXPECT_STREQ(pipe, "0800271a2b3c");

    ASSERT_TRUE(ScanAdapterLine("<Adapter slot=\"0\" MACAddress=\"0800271A2B\"/>", &line));
    EXPECT_EQ(line.slot, 0);
    EXPECT_TRUE(line.hasMac);
    EXPECT_FALSE(line.macParsed);
    ASSERT_TRUE(ScanAdapterLine("<Adapter slot=\"0\" MACAddress=\"0800271A2B3", &line));
    EXPECT_FALSE(line.macParsed);

    // Slots above 1, bad slot numbers, no address, an address before the
    // slot: not an adapter line.
    for (const char* text :
         {"<Adapter slot=\"2\" MACAddress=\"0800271A2B3C\"", "<Adapter slot=\"10\" MACAddress=\"0800271A2B3C\"",
          "<Adapter slot=\"99999999999999999999999\" MACAddress=\"0800271A2B3C\"",
          "<Adapter slot=\"x0\" MACAddress=\"0800271A2B3C\"", "<Adapter slot=\"0\" enabled=\"true\">",
          "MACAddress=\"0800271A2B3C\" <Adapter slot=\"0\">", "", static_cast<const char*>(nullptr)})
        EXPECT_FALSE(ScanAdapterLine(text, &line)) << (text ? text : "(null)");
}

TEST(VmxIdentity, MachineLineGivesUuidAfterBrace) {
    uint8_t uuid[16];
    EXPECT_EQ(ScanMachineLine("  <Machine uuid=\"{564d8a1c-2b3e-4f50-6172-8394a5b6c7d8}\" name=\"H\">", uuid),
              MachineLineUuid);
    EXPECT_TRUE(Same(uuid, kUuid, 16));
    std::memset(uuid, 0x77, sizeof uuid);
    EXPECT_EQ(ScanMachineLine("<Machine uuid=\"{564d8a1c-2b3e-4f50-6172-8394a5b6c7d}\"", uuid), MachineLineBad);
    EXPECT_EQ(ScanMachineLine("<Machine uuid=\"{564d8a1c-2b3e-4f50", uuid), MachineLineBad);
    EXPECT_EQ(ScanMachineLine("<Machine uuid=\"564d8a1c-2b3e-4f50-6172-8394a5b6c7d8\"", uuid), MachineLineNone);
    EXPECT_EQ(ScanMachineLine("<Machine name=\"H\">", uuid), MachineLineNone);
    for (uint8_t b : uuid) EXPECT_EQ(b, 0x77);
}

namespace {

class VmxIdentityFiles : public ::testing::Test {
protected:
    ScratchDir dir;
    std::string vmx = dir.File("Holvenstead.vmx");
    std::string machine = dir.File("Holvenstead.xml");
    uint8_t mac[6] = {};
    char pipe[kPipeNameSize] = "unchanged";
};

}  // namespace

TEST_F(VmxIdentityFiles, VmwareAddressComesFromGeneratedAddress) {
    WriteBytes(vmx, "config.version = \"8\"\nEthernet0.GeneratedAddress = \"00:0c:29:ab:cd:ef\"\n");
    EXPECT_EQ(ReadAdapterAddresses(vmx, false, mac, pipe, machine.c_str()), 0);
    EXPECT_TRUE(Same(mac, kMac, 6));
    EXPECT_STREQ(pipe, "unchanged");

    std::memset(mac, 0x77, sizeof mac);
    WriteBytes(vmx, "ethernet0.generatedAddress = \"000c29abcdef\"\n");
    EXPECT_EQ(ReadAdapterAddresses(vmx, false, mac, pipe, machine.c_str()), kNoIdentity);
    WriteBytes(vmx, "config.version = \"8\"\n");
    EXPECT_EQ(ReadAdapterAddresses(vmx, false, mac, pipe, machine.c_str()), kNoIdentity);
    EXPECT_EQ(ReadAdapterAddresses(dir.File("missing.vmx"), false, mac, pipe, machine.c_str()), kNoIdentity);
    for (uint8_t b : mac) EXPECT_EQ(b, 0x77);
}

TEST_F(VmxIdentityFiles, VBoxAddressesComeFromMachineFileAdapters) {
    WriteBytes(machine,
               "<?xml version=\"1.0\"?>\n"
               "<Adapter slot=\"0\" enabled=\"true\" MACAddress=\"000C29ABCDEF\" type=\"Am79C973\">\n"
               "<Adapter slot=\"1\" enabled=\"true\" MACAddress=\"0800271A2B3C\" type=\"Am79C973\">\n");
    EXPECT_EQ(ReadAdapterAddresses(vmx, true, mac, pipe, machine.c_str()), 0);
    EXPECT_TRUE(Same(mac, kMac, 6));
    EXPECT_STREQ(pipe, "0800271a2b3c");
}

TEST_F(VmxIdentityFiles, VBoxScanEndsAfterSecondAdapter) {
    // Slot 1 first: slot 0 after it is not looked at; the pipe name is kept.
    WriteBytes(machine,
               "<Adapter slot=\"1\" MACAddress=\"0800271A2B3C\">\n"
               "<Adapter slot=\"0\" MACAddress=\"000C29ABCDEF\">\n");
    std::memset(mac, 0x77, sizeof mac);
    EXPECT_EQ(ReadAdapterAddresses(vmx, true, mac, pipe, machine.c_str()), kNoIdentity);
    EXPECT_STREQ(pipe, "0800271a2b3c");
    for (uint8_t b : mac) EXPECT_EQ(b, 0x77);

    // A broken slot-1 address still ends the scan and leaves the pipe name.
    std::strcpy(pipe, "unchanged");
    WriteBytes(machine,
               "<Adapter slot=\"1\" MACAddress=\"08002\">\n"
               "<Adapter slot=\"0\" MACAddress=\"000C29ABCDEF\">\n");
    EXPECT_EQ(ReadAdapterAddresses(vmx, true, mac, pipe, machine.c_str()), kNoIdentity);
    EXPECT_STREQ(pipe, "unchanged");

    // A slot-1 line without an address does not end it; higher slots are ignored.
    WriteBytes(machine,
               "<Adapter slot=\"1\" enabled=\"false\">\n"
               "<Adapter slot=\"2\" MACAddress=\"111111111111\">\n"
               "<Adapter slot=\"0\" MACAddress=\"000C29ABCDEF\">\n");
    EXPECT_EQ(ReadAdapterAddresses(vmx, true, mac, pipe, machine.c_str()), 0);
    EXPECT_TRUE(Same(mac, kMac, 6));
    EXPECT_STREQ(pipe, "unchanged");
}

TEST_F(VmxIdentityFiles, VBoxWithoutMachineFileOrAdaptersHasNoIdentity) {
    EXPECT_EQ(ReadAdapterAddresses(vmx, true, mac, pipe, machine.c_str()), kNoIdentity);
    WriteBytes(machine, std::string("\0\0\xff junk\n", 9) + std::string(5000, 'z'));
    EXPECT_EQ(ReadAdapterAddresses(vmx, true, mac, pipe, machine.c_str()), kNoIdentity);
    EXPECT_EQ(ReadAdapterAddresses(vmx, true, mac, pipe, dir.Path().string().c_str()), kNoIdentity);
    EXPECT_STREQ(pipe, "unchanged");
}

TEST_F(VmxIdentityFiles, DefaultMachineFileIsRelativeToCurrentFolder) {
    std::filesystem::create_directories(dir.Path() / "Machines" / "Holvenstead");
    WriteBytes((dir.Path() / "Machines" / "Holvenstead" / "Holvenstead.xml").string(),
               "<Adapter slot=\"0\" MACAddress=\"000C29ABCDEF\">\n");
    const auto previous = std::filesystem::current_path();
    std::filesystem::current_path(dir.Path());
    int result = ReadAdapterAddresses(vmx, true, mac, pipe);
    std::filesystem::current_path(previous);
    EXPECT_EQ(result, 0);
    EXPECT_TRUE(Same(mac, kMac, 6));
}

TEST_F(VmxIdentityFiles, UuidFromBiosElseLocationElseVBoxMachine) {
    uint8_t uuid[16] = {};
    WriteBytes(vmx,
               "uuid.location = \"00 00 00 00 00 00 00 00-00 00 00 00 00 00 00 00\"\n"
               "UUID.BIOS = \"56 4d 8a 1c 2b 3e 4f 50-61 72 83 94 a5 b6 c7 d8\"\n");
    EXPECT_EQ(ReadMachineUuid(vmx, false, uuid, machine.c_str()), 0);
    EXPECT_TRUE(Same(uuid, kUuid, 16));

    std::memset(uuid, 0, sizeof uuid);
    WriteBytes(vmx, "uuid.location = \"56 4d 8a 1c 2b 3e 4f 50-61 72 83 94 a5 b6 c7 d8\"\n");
    EXPECT_EQ(ReadMachineUuid(vmx, false, uuid, machine.c_str()), 0);
    EXPECT_TRUE(Same(uuid, kUuid, 16));

    // A broken bios UUID is not replaced by the location.
    WriteBytes(vmx,
               "uuid.bios = \"56 4d\"\n"
               "uuid.location = \"56 4d 8a 1c 2b 3e 4f 50-61 72 83 94 a5 b6 c7 d8\"\n");
    EXPECT_EQ(ReadMachineUuid(vmx, false, uuid, machine.c_str()), kNoIdentity);

    // VirtualBox falls back to the first machine line of the machine file.
    WriteBytes(vmx, "config.version = \"8\"\n");
    WriteBytes(machine, "<VirtualBox>\n  <Machine uuid=\"{564d8a1c-2b3e-4f50-6172-8394a5b6c7d8}\" name=\"H\">\n");
    EXPECT_EQ(ReadMachineUuid(vmx, false, uuid, machine.c_str()), kNoIdentity);
    std::memset(uuid, 0, sizeof uuid);
    EXPECT_EQ(ReadMachineUuid(vmx, true, uuid, machine.c_str()), 0);
    EXPECT_TRUE(Same(uuid, kUuid, 16));
    WriteBytes(machine, "<Machine uuid=\"{564d8a1c}\">\n<Machine uuid=\"{564d8a1c-2b3e-4f50-6172-8394a5b6c7d8}\">\n");
    EXPECT_EQ(ReadMachineUuid(vmx, true, uuid, machine.c_str()), kNoIdentity);
    EXPECT_EQ(ReadMachineUuid(dir.File("missing.vmx"), true, uuid, dir.File("missing.xml").c_str()), kNoIdentity);
}
