// The VirtualBox setup's texts where the end-to-end runs cannot reach: byte
// values that a sign-extending or unpadded format would spoil, and journal
// entries a damaged registry could hold.
#include <gtest/gtest.h>

#include "backends/PolicyValueText.h"
#include "backends/VBoxCommands.h"

namespace holv {
namespace {

// VirtualBox's own programs and component by full path in the VM's folder;
// the system's regsvr32 and every argument stay as they are.
TEST(VBoxCommands, OwnFilesNamedInTheVmFolder) {
    const std::string f = "C:\\My VM";
    EXPECT_EQ(VBoxLineInFolder(f, "VBoxManage list hostifs"), "\"C:\\My VM\\VBoxManage.exe\" list hostifs");
    EXPECT_EQ(VBoxLineInFolder(f, "regsvr32 /s VBoxC.dll"), "regsvr32 /s \"C:\\My VM\\VBoxC.dll\"");
    EXPECT_EQ(VBoxLineInFolder(f, "VBoxManage createhostif \"VBoxHolv Adapter\""),
              "\"C:\\My VM\\VBoxManage.exe\" createhostif \"VBoxHolv Adapter\"");
}

TEST(VBoxCommands, UuidAndMacTextsKeepEveryByteAsTwoDigits) {
    const uint8_t uuid[16] = {0x00, 0xff, 0x80, 0x7f, 0x0a, 0xa0, 0x01, 0x10,
                              0xfe, 0xef, 0x00, 0x00, 0x09, 0x90, 0xff, 0x00};
    const uint8_t mac[6] = {0x00, 0x0c, 0x29, 0xff, 0x80, 0x0a};
    EXPECT_EQ(VBoxUuidText(uuid), "00ff807f-0aa0-0110-feef-00000990ff00");
    EXPECT_EQ(VBoxMacText(mac), "000C29FF800A");
    auto lines = VBoxCreateVmCommands(VBoxUuidText(uuid), VBoxMacText(mac));
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_EQ(lines[0], "VBoxManage createvm -name Holvenstead -register -uuid 00ff807f-0aa0-0110-feef-00000990ff00");
    EXPECT_NE(lines[4].find(" -macaddress1 000C29FF800A -natnet2 10.127.128.160/27"), std::string::npos);
    // Nothing known: VirtualBox chooses.
    lines = VBoxCreateVmCommands("", "");
    EXPECT_EQ(lines[0], "VBoxManage createvm -name Holvenstead -register");
    EXPECT_NE(lines[4].find(" -macaddress1 auto -natnet2 "), std::string::npos);
}

TEST(PolicyValueText, ReadsBackWhatItWroteAndNothingElse) {
    SavedPolicyValue byte{true, 3, {0x01}}, dword{true, 4, {0x02, 0x00, 0x00, 0x00}}, absent{}, empty{true, 3, {}};
    for (const SavedPolicyValue& value : {byte, dword, absent, empty}) {
        SavedPolicyValue back{true, 99, {7}};
        ASSERT_TRUE(DecodePolicyValue(EncodePolicyValue(value), back)) << EncodePolicyValue(value);
        EXPECT_EQ(back.present, value.present);
        EXPECT_EQ(back.type, value.type);
        EXPECT_EQ(back.data, value.data);
    }
    const char* damaged[] = {
        "",      "Absent",  "absent ", ":01",
        "3",     "3:0",     "3:0g",    "3:0G",
        "-3:01", "+3:01",   "123:01",  "3:01 ",
        "x3:01", "3:01:02", "3 :01",   "3:000102030405060708090a0b0c0d0e0f10"};  // one byte more than a policy has
    for (const char* text : damaged) {
        SavedPolicyValue value{true, 3, {1}};
        EXPECT_FALSE(DecodePolicyValue(text, value)) << '"' << text << '"';
        EXPECT_EQ(value.data, std::vector<uint8_t>{1}) << "a rejected text changed the value: " << text;
    }
}

}  // namespace
}  // namespace holv
