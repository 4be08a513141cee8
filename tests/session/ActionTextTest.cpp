#include <gtest/gtest.h>

#include "session/ActionText.h"

using namespace holv;

TEST(ActionText, KeywordsAndTheirArguments) {
    Action a = ParseAction("[openurl]   https://10.0.0.1/x ");
    EXPECT_EQ(a.kind, ActionOpenUrl);
    EXPECT_EQ(a.argument, "https://10.0.0.1/x ");
    EXPECT_EQ(ParseAction("[reg]HKLM\\Software\\X\\Y").argument, "HKLM\\Software\\X\\Y");
    EXPECT_EQ(ParseAction("[reg]HKLM").kind, ActionReg);
    EXPECT_EQ(ParseAction("[suffix] a.example;%s").kind, ActionSuffix);
    EXPECT_EQ(ParseAction("[script] C:\\s.cmd").argument, "C:\\s.cmd");
    EXPECT_EQ(ParseAction("[script]").argument, "");
}

TEST(ActionText, ExitNumber) {
    EXPECT_TRUE(ExitActionMeansExit(ParseAction("[exit]1").argument));
    EXPECT_FALSE(ExitActionMeansExit(ParseAction("[exit] 0").argument));
    EXPECT_FALSE(ExitActionMeansExit(ParseAction("[exit]").argument));
    EXPECT_TRUE(ExitActionMeansExit(ParseAction("[exit] -3").argument));
    EXPECT_FALSE(ExitActionMeansExit(ParseAction("[exit] x").argument));
}

TEST(ActionText, PlainCommandsUnknownAndCapitalisedKeywords) {
    Action c = ParseAction("notepad.exe C:\\x.txt");
    EXPECT_EQ(c.kind, ActionCommand);
    EXPECT_EQ(c.argument, "notepad.exe C:\\x.txt");
    EXPECT_EQ(ParseAction("[EXIT]1").kind, ActionNone);
    EXPECT_EQ(ParseAction("[OpenUrl] http://x").kind, ActionNone);
    EXPECT_EQ(ParseAction("[unknown] x").kind, ActionNone);
    EXPECT_EQ(ParseAction("").kind, ActionNone);
    EXPECT_EQ(ParseAction("[").kind, ActionNone);
    // A keyword must stand at the very start.
    EXPECT_EQ(ParseAction(" [exit]1").kind, ActionCommand);
}
