#include <gtest/gtest.h>

#include <climits>
#include <string>

#include "app/CommandLine.h"

using namespace holv;

namespace {

struct Parsed {
    VerbTable table;
    std::string path;
};

Parsed Parse(const char* line) {
    Parsed p;
    p.path = ParseCommandLine(line, p.table);
    return p;
}

}  // namespace

TEST(CommandLine, EmptyLineMeansDefaultFileAndNoVerbs) {
    for (const char* line : {"", "   ", static_cast<const char*>(nullptr)}) {
        Parsed p = Parse(line);
        EXPECT_EQ(p.path, "Holvenstead.vmx");
        for (const Verb& v : p.table.verbs) EXPECT_FALSE(v.seen) << v.name;
    }
}

TEST(CommandLine, VerbsMatchByPrefixIgnoringCase) {
    for (const char* word : {"-START", "-Start", "-startnow", "-startup"}) {
        Parsed p = Parse(word);
        EXPECT_TRUE(p.table.Seen(VerbStart)) << word;
        EXPECT_FALSE(p.table.Seen(VerbStop)) << word;
        EXPECT_EQ(p.path, "Holvenstead.vmx");
    }
    Parsed shortWord = Parse("-st -x -");
    for (const Verb& v : shortWord.table.verbs) EXPECT_FALSE(v.seen) << v.name;
    EXPECT_EQ(shortWord.path, "Holvenstead.vmx");
}

TEST(CommandLine, EveryVerbAndThePathAfterThem) {
    Parsed p = Parse("-stop -install -remove -exit -browse -start C:\\VMs\\A.vmx");
    for (VerbIndex v : {VerbStart, VerbStop, VerbInstall, VerbRemove, VerbExit, VerbBrowse})
        EXPECT_TRUE(p.table.Seen(v)) << p.table.verbs[v].name;
    EXPECT_FALSE(p.table.Seen(VerbXstatus));
    EXPECT_EQ(p.path, "C:\\VMs\\A.vmx");
}

TEST(CommandLine, PathKeepsSpacesAndQuotesAndLaterDashes) {
    Parsed p = Parse("-xstatus 5000 C:\\My VMs\\\"x\" -stop");
    EXPECT_TRUE(p.table.Seen(VerbXstatus));
    EXPECT_EQ(p.table.verbs[VerbXstatus].value, 5000);
    EXPECT_FALSE(p.table.Seen(VerbStop));
    EXPECT_EQ(p.path, "C:\\My VMs\\\"x\" -stop");
}

TEST(CommandLine, XstatusValueRules) {
    EXPECT_EQ(Parse("-xstatus").table.verbs[VerbXstatus].value, 0);
    EXPECT_TRUE(Parse("-xstatus").table.Seen(VerbXstatus));
    EXPECT_EQ(Parse("-xstatus -5").table.verbs[VerbXstatus].value, -5);
    EXPECT_EQ(Parse("-xstatus abc").table.verbs[VerbXstatus].value, 0);
    EXPECT_EQ(Parse("-xstatus 12ab").table.verbs[VerbXstatus].value, 12);
    // The value word is consumed even when it is no number: no path here.
    EXPECT_EQ(Parse("-xstatus abc").path, "Holvenstead.vmx");
    // The last one wins.
    EXPECT_EQ(Parse("-xstatus 1 -xstatus 2").table.verbs[VerbXstatus].value, 2);
    // Out of range saturates instead of overflowing.
    EXPECT_EQ(Parse("-xstatus 99999999999999999999").table.verbs[VerbXstatus].value, INT_MAX);
    EXPECT_EQ(Parse("-xstatus -99999999999999999999").table.verbs[VerbXstatus].value, INT_MIN);
}

TEST(CommandLine, OverlongLinesAreTakenWhole) {
    std::string path(20000, 'p');
    std::string line = "-start " + path;
    Parsed p = Parse(line.c_str());
    EXPECT_TRUE(p.table.Seen(VerbStart));
    EXPECT_EQ(p.path, path);
    std::string manyVerbs;
    for (int i = 0; i < 5000; ++i) manyVerbs += "-xstatus 7 ";
    EXPECT_EQ(Parse(manyVerbs.c_str()).table.verbs[VerbXstatus].value, 7);
}

TEST(CommandLine, MutexNameIsOnePerFile) {
    EXPECT_EQ(InstanceMutexName("C:\\VMs\\Holvenstead.vmx"), "Global\\c:/vms/holvenstead.vmx");
    EXPECT_EQ(InstanceMutexName("C:\\VMs\\A.vmx"), InstanceMutexName("c:\\vms\\a.VMX"));
    EXPECT_EQ(InstanceMutexName(""), "Global\\");
}
