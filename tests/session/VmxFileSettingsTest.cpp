#include <gtest/gtest.h>

#include "session/Association.h"
#include "session/SessionScratch.h"
#include "session/VmxFile.h"
#include "session/VmxFileConnection.h"

using namespace holv;
using namespace holv::test;

TEST(VmxConnectionType, IndexOfExactTableText) {
    ScratchDir dir;
    const std::string vmx = dir.File("Holvenstead.vmx");
    EXPECT_EQ(GetConnectionType(vmx), 0);  // no file
    WriteBytes(vmx, "config.version = \"8\"\n");
    EXPECT_EQ(GetConnectionType(vmx), 0);
    const struct {
        const char* text;
        int index;
    } cases[] = {{"bridged", 0}, {"nat", 1},  {"hostonly", 2}, {"custom", 3}, {"NAT", 0},
                 {"Custom", 0},  {"nat ", 0}, {"", 0},         {"vmnet8", 0}};
    for (const auto& c : cases) {
        WriteBytes(vmx, std::string("ethernet0.connectiontype = \"") + c.text + "\"\n");
        EXPECT_EQ(GetConnectionType(vmx), c.index) << c.text;
    }
}

TEST(VmxConnectionType, SetWritesTableTextUnderProgramsKey) {
    ScratchDir dir;
    const std::string vmx = dir.File("Holvenstead.vmx");
    WriteBytes(vmx, "a = \"1\"\nethernet0.connectiontype = \"bridged\"\nb = \"2\"\n");
    EXPECT_EQ(SetConnectionType(vmx, 1), 1);
    EXPECT_EQ(ReadText(vmx), "a = \"1\"\nEthernet0.connectionType = \"nat\"\nb = \"2\"\n");
    EXPECT_EQ(GetConnectionType(vmx), 1);
    EXPECT_EQ(SetConnectionType(vmx, 3), 1);
    EXPECT_EQ(GetConnectionType(vmx), 3);
    // Outside the table nothing is written.
    EXPECT_EQ(SetConnectionType(vmx, 4), 0);
    EXPECT_EQ(SetConnectionType(vmx, -1), 0);
    EXPECT_EQ(ReadText(vmx), "a = \"1\"\nEthernet0.connectionType = \"custom\"\nb = \"2\"\n");
    EXPECT_EQ(ConnectionTypeText(2), std::string("hostonly"));
    EXPECT_EQ(ConnectionTypeText(4), nullptr);
}

TEST(NetConfigCommand, EditorBesideThePlayer) {
    // Quoted path and quoted argument: the quoted editor path, argument dropped.
    EXPECT_EQ(NetConfigCommandFrom("\"C:\\Program Files\\VMware\\VMware Player\\vmplayer.exe\" \"%1\""),
              "\"C:\\Program Files\\VMware\\VMware Player\\vmnetcfg.exe\"");
    // Unquoted: the first blank ends the path, so separators in arguments do not count.
    EXPECT_EQ(NetConfigCommandFrom("C:\\VMware\\vmplayer.exe \"%1\""), "C:\\VMware\\vmnetcfg.exe");
    EXPECT_EQ(NetConfigCommandFrom("C:\\A\\vmplayer.exe C:\\B\\other.exe"), "C:\\A\\vmnetcfg.exe");
    // Forward slashes are separators too.
    EXPECT_EQ(NetConfigCommandFrom("C:/VMware/vmplayer.exe %1"), "C:/VMware/vmnetcfg.exe");
    // Single quotes work as double quotes do.
    EXPECT_EQ(NetConfigCommandFrom("'C:\\P Q\\vmplayer.exe' '%1'"), "'C:\\P Q\\vmnetcfg.exe'");
    // A quote of the other kind inside a span neither opens nor closes it.
    EXPECT_EQ(NetConfigCommandFrom("\"C:\\it's\\vmplayer.exe\" x"), "\"C:\\it's\\vmnetcfg.exe\"");
    // An unterminated quote still closes the result.
    EXPECT_EQ(NetConfigCommandFrom("\"C:\\A B\\vmplayer.exe"), "\"C:\\A B\\vmnetcfg.exe\"");
    // A separator outside the quotes: no closing quote is added.
    EXPECT_EQ(NetConfigCommandFrom("\"C:\\A B\"\\vmplayer.exe"), "\"C:\\A B\"\\vmnetcfg.exe");
}

TEST(NetConfigCommand, NoSeparatorOrNoTextGivesBareName) {
    EXPECT_EQ(NetConfigCommandFrom("vmplayer.exe \"%1\""), "vmnetcfg.exe");
    EXPECT_EQ(NetConfigCommandFrom("\"vmplayer.exe\" \"%1\""), "vmnetcfg.exe");
    EXPECT_EQ(NetConfigCommandFrom(""), "vmnetcfg.exe");
    EXPECT_EQ(NetConfigCommandFrom(nullptr), "vmnetcfg.exe");
    // A separator at the very end of a full buffer grows the text safely.
    std::string full(254, 'a');
    full += '\\';
    EXPECT_EQ(NetConfigCommandFrom(full.c_str()), full + "vmnetcfg.exe");
}
