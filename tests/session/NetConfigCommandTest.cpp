#include <gtest/gtest.h>

#include "session/Association.h"

using namespace holv;

// The network editor beside the player: the argument dropped, an unterminated
// quote closed, and a path that fills the buffer grows safely.
TEST(NetConfigCommand, EditorBesideThePlayer) {
    EXPECT_EQ(NetConfigCommandFrom("C:\\A\\vmplayer.exe C:\\B\\other.exe"), "C:\\A\\vmnetcfg.exe");
    EXPECT_EQ(NetConfigCommandFrom("\"C:\\A B\\vmplayer.exe"), "\"C:\\A B\\vmnetcfg.exe\"");
    EXPECT_EQ(NetConfigCommandFrom(nullptr), "vmnetcfg.exe");
    const std::string full = std::string(254, 'a') + '\\';
    EXPECT_EQ(NetConfigCommandFrom(full.c_str()), full + "vmnetcfg.exe");
}
