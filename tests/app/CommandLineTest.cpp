// The command line: verbs by prefix without regard to case, then the path,
// spaces and all; the instance mutex's name.
#include <gtest/gtest.h>

#include <climits>
#include <string>

#include "app/CommandLine.h"

using namespace holv;

namespace {

// The verbs seen, one letter each (s start, t stop, i install, r remove,
// e exit, x xstatus, b browse, c cleanup), in VerbIndex order.
std::string Seen(const VerbTable& table) {
    std::string seen;
    for (int v = 0; v < VerbCount; ++v)
        if (table.Seen(static_cast<VerbIndex>(v))) seen += "stirexbc"[v];
    return seen;
}

TEST(CommandLine, VerbsThenThePath) {
    const std::string longPath(20000, 'p');
    std::string manyVerbs;
    for (int i = 0; i < 5000; ++i) manyVerbs += "-xstatus 7 ";
    struct Case {
        std::string line;
        const char* seen;
        int xstatus;
        std::string path;
    };
    const Case cases[] = {
        {"", "", 0, "Holvenstead.vmx"},
        {"-START", "s", 0, "Holvenstead.vmx"},
        {"-startup", "s", 0, "Holvenstead.vmx"},
        {"-st -x -", "", 0, "Holvenstead.vmx"},  // too short for any verb: no path either
        {"-stop -install -remove -exit -browse -start C:\\VMs\\A.vmx", "stireb", 0, "C:\\VMs\\A.vmx"},
        {"-CLEANUP -stop x.vmx", "tc", 0, "x.vmx"},
        {"-xstatus 5000 C:\\My VMs\\\"x\" -stop", "x", 5000, "C:\\My VMs\\\"x\" -stop"},
        {"-start \"C:\\My VMs\\A.vmx\" ", "s", 0, "C:\\My VMs\\A.vmx"},
        // What the uninstaller passes: a title beginning with "-", quoted, is the path, not verbs.
        {"-stop -exit \"-install\\..\\x.vmx\"", "te", 0, "-install\\..\\x.vmx"},
        {"\"C:\\A.vmx\" \"B.vmx\"", "", 0, "\"C:\\A.vmx\" \"B.vmx\""},  // not one quoted path
        {"\"\"", "", 0, "\"\""},
        {"-xstatus", "x", 0, "Holvenstead.vmx"},
        {"-xstatus -5", "x", -5, "Holvenstead.vmx"},
        {"-xstatus abc", "x", 0, "Holvenstead.vmx"},  // the value word is taken even when no number
        {"-xstatus 12ab", "x", 12, "Holvenstead.vmx"},
        {"-xstatus 1 -xstatus 2", "x", 2, "Holvenstead.vmx"},
        {"-xstatus 99999999999999999999", "x", INT_MAX, "Holvenstead.vmx"},
        {"-xstatus -99999999999999999999", "x", INT_MIN, "Holvenstead.vmx"},
        {"-start " + longPath, "s", 0, longPath},
        {manyVerbs, "x", 7, "Holvenstead.vmx"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line.substr(0, 60));
        VerbTable table;
        EXPECT_EQ(ParseCommandLine(c.line.c_str(), table), c.path);
        EXPECT_EQ(Seen(table), c.seen);
        EXPECT_EQ(table.verbs[VerbXstatus].value, c.xstatus);
    }
    VerbTable none;
    EXPECT_EQ(ParseCommandLine(nullptr, none), "Holvenstead.vmx");
    EXPECT_EQ(Seen(none), "");
}

TEST(CommandLine, MutexNameIsOnePerFile) {
    EXPECT_EQ(InstanceMutexName("C:\\VMs\\Holvenstead.vmx"), "Global\\c:/vms/holvenstead.vmx");
    EXPECT_EQ(InstanceMutexName("C:\\VMs\\A.vmx"), InstanceMutexName("c:\\vms\\a.VMX"));
    EXPECT_EQ(InstanceMutexName(""), "Global\\");
}

}  // namespace
