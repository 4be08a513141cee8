#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "SimConfig.h"
#include "SimText.h"

using namespace holv;

TEST(SimConfig, DefaultsServeSerialEmptyActionAndEmptyRouteLists) {
    SimConfig c = SimDefaultConfig();
    EXPECT_TRUE(c.variables.at(SimSerialKey).present);
    EXPECT_EQ(c.variables.at(SimActionKey).value, "");
    EXPECT_EQ(c.variables.at(SimVariableKey(512, 696)).value, "0000");
    EXPECT_EQ(c.variables.count(SimTrellisportKey), 0u);
}

TEST(SimConfig, ValuesAreTakenAsWrittenWithEscapes) {
    SimConfig c = SimDefaultConfig();
    std::vector<std::string> warnings;
    SimParseConfig(
        "# comment\n\n  action =[openurl]   http://a/  \r\nserial=a\\x00b\\\\c\\n\nmac=00-0C-29-01-02-03\n"
        "status-flags=0x20000\nroute.3=0000\nvar.0x8800.800=x\nrk.type=gauge\nrk.set-error=4\n",
        c, warnings);
    EXPECT_TRUE(warnings.empty());
    EXPECT_EQ(c.variables.at(SimActionKey).value, "[openurl]   http://a/  ");
    EXPECT_EQ(c.variables.at(SimSerialKey).value, std::string("a\0b\\c\n", 6));
    EXPECT_EQ(SimFormatMac(c.mac), "00:0c:29:01:02:03");
    EXPECT_EQ(c.statusFlags, 0x20000u);
    EXPECT_TRUE(c.variables.at(SimVariableKey(512, 699)).present);
    EXPECT_EQ(c.variables.at(SimVariableKey(0x8800, 800)).value, "x");
    // Attributes alone do not give a variable a value.
    EXPECT_FALSE(c.variables.at(SimRkKey).present);
    EXPECT_EQ(c.variables.at(SimRkKey).type, 0x42);
    EXPECT_EQ(c.variables.at(SimRkKey).setError, 4);
}

TEST(SimConfig, ProblemsAreReportedAndTheLineSkipped) {
    SimConfig c = SimDefaultConfig();
    std::vector<std::string> warnings;
    SimParseConfig("mac=00:0c:29\nbogus=1\nno equals sign\nreply-delay-ms=-5\nserial=\\x4\nrk.type=float\n", c,
                   warnings);
    EXPECT_EQ(warnings.size(), 6u);
    EXPECT_EQ(SimFormatMac(c.mac), "00:0c:29:12:34:56");
    EXPECT_EQ(c.replyDelayMs, 0);
    EXPECT_EQ(c.variables.at(SimSerialKey).value, "SIM-0000-0001");
}

TEST(SimText, NumbersAndNames) {
    uint32_t g, i, u;
    int32_t n;
    EXPECT_TRUE(SimParseVariable("0xF000.61568", g, i));
    EXPECT_EQ(g, 61440u);
    EXPECT_EQ(i, 61568u);
    EXPECT_FALSE(SimParseVariable("65536.1", g, i));
    EXPECT_FALSE(SimParseVariable("1.", g, i));
    EXPECT_FALSE(SimParseU32(" 1", u));
    EXPECT_FALSE(SimParseU32("0x100000000", u));
    EXPECT_TRUE(SimParseI32("-129", n));
    EXPECT_EQ(n, -129);
    EXPECT_TRUE(SimParseI32("0xFFFFFFFF", n));
    EXPECT_EQ(n, -1);
    ImcOid name = ImcVariableName(512, 640);
    EXPECT_TRUE(SimVariableOf(name, g, i));
    EXPECT_EQ(g, 512u);
    name.ids[7] = 1;
    EXPECT_FALSE(SimVariableOf(name, g, i));
    EXPECT_EQ(SimPercent("a b%\xff"), "a%20b%25%ff");
    EXPECT_EQ(SimEscape("a\\\x01"), "a\\x5c\\x01");
}
