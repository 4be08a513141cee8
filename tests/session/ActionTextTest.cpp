#include <gtest/gtest.h>

#include "session/ActionText.h"

using namespace holv;

// Each row: the appliance's action text, its kind, and its argument (none
// for an ignored text: nothing of it may reach a consumer).
TEST(ActionText, KeywordsCommandsAndTheRest) {
    const struct {
        const char* text;
        ActionKind kind;
        const char* argument;
    } rows[] = {
        {"[openurl]   https://10.0.0.1/x ", ActionOpenUrl, "https://10.0.0.1/x "},
        {"[reg]HKLM\\Software\\X", ActionReg, "HKLM\\Software\\X"},
        {"[script]", ActionScript, ""},
        {"notepad.exe C:\\x.txt", ActionCommand, "notepad.exe C:\\x.txt"},
        {" [exit]1", ActionCommand, " [exit]1"},  // a keyword must stand at the very start
        {"[EXIT]1", ActionNone, ""},              // unknown and capitalised keywords are never commands
        {"[unknown] x", ActionNone, ""},
        {"", ActionNone, ""},
    };
    for (const auto& r : rows) {
        Action a = ParseAction(r.text);
        EXPECT_EQ(a.kind, r.kind) << r.text;
        EXPECT_EQ(a.argument, r.argument) << r.text;
    }
    for (const char* exits : {"[exit]1", "[exit] -3"}) EXPECT_TRUE(ExitActionMeansExit(ParseAction(exits).argument));
    for (const char* stops : {"[exit] 0", "[exit]", "[exit] x"})
        EXPECT_FALSE(ExitActionMeansExit(ParseAction(stops).argument));
}
