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

TEST(VmxIdentity, MacNeedsExactlyTwoDigitsPerByte) {
    uint8_t mac[6];
    ASSERT_TRUE(ParseMacText("00:0c:29:AB:cd:EF", mac));
    EXPECT_TRUE(Same(mac, kMac, 6));
    // Twelve digits without colons are no address; the output stays as it was.
    std::memset(mac, 0x77, sizeof mac);
    EXPECT_FALSE(ParseMacText("000c29abcdef", mac));
    EXPECT_FALSE(ParseMacText("00:0c29:ab:cd:ef", mac));
    EXPECT_FALSE(ParseMacText("00:0c:29:ab:cd:eff", mac));
    EXPECT_FALSE(ParseMacText("00:0c:29:ab:cd", mac));
    EXPECT_FALSE(ParseMacText("00:0c:29:ab:cd:", mac));
    EXPECT_FALSE(ParseMacText("0:0c:29:ab:cd:ef", mac));
    EXPECT_FALSE(ParseMacText(" 0:0c:29:ab:cd:ef", mac));
    EXPECT_FALSE(ParseMacText("0x:0c:29:ab:cd:ef", mac));
    EXPECT_FALSE(ParseMacText("00::0c:29:ab:cd:ef", mac));
    EXPECT_FALSE(ParseMacText("", mac));
    EXPECT_FALSE(ParseMacText(nullptr, mac));
    for (uint8_t b : mac) EXPECT_EQ(b, 0x77);
    // The colon is optional after each byte only where a non-digit follows.
    ASSERT_TRUE(ParseMacText("00:0c:29:ab:cd:ef:trailing", mac));
    EXPECT_TRUE(Same(mac, kMac, 6));
}

TEST(VmxIdentity, UuidPairsWithOneBlankOrDashBetween) {
    uint8_t uuid[16];
    ASSERT_TRUE(ParseUuidText("56 4d 8a 1c 2b 3e 4f 50-61 72 83 94 a5 b6 c7 d8", uuid));
    EXPECT_TRUE(Same(uuid, kUuid, 16));
    // Anything before the first hex digit is skipped; no separator is needed.
    std::memset(uuid, 0, sizeof uuid);
    ASSERT_TRUE(ParseUuidText("  {564D8A1C-2B3E-4F50-6172-8394A5B6C7D8}", uuid));
    EXPECT_TRUE(Same(uuid, kUuid, 16));
    std::memset(uuid, 0x77, sizeof uuid);
    EXPECT_FALSE(ParseUuidText("56  4d 8a 1c 2b 3e 4f 50 61 72 83 94 a5 b6 c7 d8", uuid));
    EXPECT_FALSE(ParseUuidText("56 4d 8a 1c 2b 3e 4f 50 61 72 83 94 a5 b6 c7", uuid));
    EXPECT_FALSE(ParseUuidText("56 4d 8a 1c 2b 3e 4f 50 61 72 83 94 a5 b6 c7 d", uuid));
    EXPECT_FALSE(ParseUuidText("56-:4d", uuid));
    EXPECT_FALSE(ParseUuidText("no digits at all", uuid));  // 'd' is a digit: "di" fails
    EXPECT_FALSE(ParseUuidText("", uuid));
    EXPECT_FALSE(ParseUuidText(nullptr, uuid));
    for (uint8_t b : uuid) EXPECT_EQ(b, 0x77);
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

    EXPECT_FALSE(ScanAdapterLine("<Adapter slot=\"2\" MACAddress=\"0800271A2B3C\"", &line));
    EXPECT_FALSE(ScanAdapterLine("<Adapter slot=\"10\" MACAddress=\"0800271A2B3C\"", &line));
    EXPECT_FALSE(ScanAdapterLine("<Adapter slot=\"99999999999999999999999\" MACAddress=\"0800271A2B3C\"", &line));
    EXPECT_FALSE(ScanAdapterLine("<Adapter slot=\"x0\" MACAddress=\"0800271A2B3C\"", &line));
    EXPECT_FALSE(ScanAdapterLine("<Adapter slot=\"0\" enabled=\"true\">", &line));
    // The address must follow the slot on the same piece.
    EXPECT_FALSE(ScanAdapterLine("MACAddress=\"0800271A2B3C\" <Adapter slot=\"0\">", &line));
    EXPECT_FALSE(ScanAdapterLine("", &line));
    EXPECT_FALSE(ScanAdapterLine(nullptr, &line));
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
