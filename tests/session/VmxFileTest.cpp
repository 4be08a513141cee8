#include <gtest/gtest.h>

#include <string>

#include "session/SessionScratch.h"
#include "session/VmxFile.h"

using namespace holv;
using namespace holv::test;

namespace {

class VmxFileTest : public ::testing::Test {
protected:
    std::string Vmx(const std::string& text) {
        WriteBytes(path, text);
        return path;
    }
    std::optional<std::string> Read(const std::string& text, const char* key) { return ReadVmxValue(Vmx(text), key); }
    ScratchDir dir;
    std::string path = dir.File("Holvenstead.vmx");
    std::string temp = path + ".tmp";
};

bool FailingReplace(const char*, const char*) {
    return false;
}

}  // namespace

using Value = std::optional<std::string>;

// Each row: the file's text, the key asked for, and the value read.
TEST_F(VmxFileTest, ReadingTakesTheFirstLineOfTheKey) {
    const std::string junk("\0\0\x01\xff\x1a\x7f junk \"\0\"\n", 16);
    const std::string longKey(300, 'k'), hugeKey(20000, 'k'), longest(255 - 6, 'v');
    const struct {
        std::string text, key;
        Value value;
    } rows[] = {
        // The key matches without regard to case where a blank or '=' follows.
        {"CONFIG.VERSION = \"8\"\n", "config.version", "8"},
        {"config.version=\"9\"\n", "Config.Version", "9"},
        {"config.versionx = \"1\"\nconfig.version = \"2\"\n", "config.version", "2"},
        {"config.version.x = \"1\"\n", "config.version", std::nullopt},
        {"config.version\t= \"3\"\n", "config.version", std::nullopt},  // only a blank counts
        {" config.version = \"4\"\n", "config.version", std::nullopt},  // the key starts the line
        {"k\xc4y = \"5\"\n", "k\xe4y", std::nullopt},                   // non-ASCII is not folded
        // The value is the text between the first two quotes of the first key line.
        {"a = \"one\" \"two\"\n", "a", "one"},
        {"a = \"\"\n", "a", ""},
        {"a = \"  spaced value \"\n", "a", "  spaced value "},
        {"a = plain\na = \"later\"\n", "a", std::nullopt},
        {"a = \"unterminated\na = \"later\"\n", "a", std::nullopt},
        {"b = \"x\"\n", "a", std::nullopt},
        {"", "a", std::nullopt},
        {"x = \"1\"\r\na = \"crlf\"\r\n", "a", "crlf"},
        {"a = \"last\"", "a", "last"},
        {" = \"1\"\n", "", std::nullopt},
        // Long lines are read in pieces of 255 characters.
        {std::string(255, 'x') + "a = \"piece\"\n", "a", "piece"},
        {std::string(254, 'x') + "a = \"piece\"\n", "a", std::nullopt},
        {"a = \"" + std::string(300, 'v') + "\"\n", "a", std::nullopt},
        {"a = \"" + longest + "\"\n", "a", longest},
        {std::string(10000, 'y') + "\na = \"after\"\n", "a", "after"},
        {longKey + " = \"1\"\n", longKey, std::nullopt},
        {hugeKey + " = \"1\"\n", hugeKey, std::nullopt},
        // Binary junk hides nothing after it; a NUL ends what is compared.
        {junk + "a = \"found\"\n", "a", "found"},
        {std::string("a = \0\"hidden\"\n", 14), "a", std::nullopt},
        {"x = \"1\"\n\x1a\na = \"2\"\n", "a", "2"},
    };
    for (const auto& r : rows) EXPECT_EQ(Read(r.text, r.key.c_str()), r.value) << r.text.substr(0, 60);
    EXPECT_EQ(Read("a = \"1\"\n", nullptr), std::nullopt);
    EXPECT_EQ(ReadVmxValue(dir.File("missing.vmx"), "a"), std::nullopt);
    EXPECT_EQ(ReadVmxValue(dir.Path().string(), "a"), std::nullopt);  // a folder
}

// Each row: the file before, the key and value written (null: delete), the
// result, and the file after. No temporary file is left in any case.
TEST_F(VmxFileTest, WritingReplacesDeletesOrAppendsTheKey) {
    const std::string long300(300, 'x'), long10k(10000, 'y'), hugeKey(20000, 'k');
    std::string junk;
    for (int c = 0; c < 256; ++c)
        if (c != '\n' && c != '\r') junk += static_cast<char>(c);
    const struct {
        std::string before, key;
        const char* value;
        int result;
        std::string after;
    } rows[] = {
        // Every line of the key, in the caller's spelling.
        {"a = \"1\"\nKEY = \"x\"\nb = \"2\"\nkey=\"y\"\n", "Key", "v", 1,
         "a = \"1\"\nKey = \"v\"\nb = \"2\"\nKey = \"v\"\n"},
        {"a = \"1\"\nkey = \"x\"\nb = \"2\"\nKEY = \"y\"\nkeys = \"z\"\n", "key", nullptr, 1,
         "a = \"1\"\nb = \"2\"\nkeys = \"z\"\n"},
        {"a = \"1\"\nkeys = \"z\"\n", "key", nullptr, 0, "a = \"1\"\nkeys = \"z\"\n"},
        // A missing key is appended, ending an unfinished last line first.
        {"a = \"1\"", "k", "v", 1, "a = \"1\"\nk = \"v\"\n"},
        {"a = \"1\"\n", "k", "v", 1, "a = \"1\"\nk = \"v\"\n"},
        {"", "k", "v", 1, "\nk = \"v\"\n"},
        // The same value still rewrites, in the written format.
        {"k = \"v\"\n", "k", "v", 1, "k = \"v\"\n"},
        {"K=\"v\"   trailing\n", "k", "v", 1, "k = \"v\"\n"},
        // A value from the appliance cannot break out of its line.
        {"h = \"old\"\n", "h", "evil\nuuid.action = \"create\"\r\n", 1, "h = \"evil\"\n"},
        {"h = \"old\"\n", "h", "half\"quoted", 1, "h = \"half\"\n"},
        // Keys that could not be read back as one key are refused.
        {"h = \"old\"\n", "bad key", "v", 0, "h = \"old\"\n"},
        {"h = \"old\"\n", "bad\nkey", "v", 0, "h = \"old\"\n"},
        {"h = \"old\"\n", "", "v", 0, "h = \"old\"\n"},
        // Long lines survive; a long key line is replaced or deleted whole.
        {long300 + "\nk = \"" + std::string(400, 'v') + "\"\n" + long10k + "\nb = \"2\"\n", "k", "short", 1,
         long300 + "\nk = \"short\"\n" + long10k + "\nb = \"2\"\n"},
        {"k = \"" + std::string(600, 'v') + "\"\nb = \"2\"\n", "k", nullptr, 1, "b = \"2\"\n"},
        {hugeKey + " = \"1\"\n", hugeKey, nullptr, 0, hugeKey + " = \"1\"\n"},
        // Binary junk is copied through unchanged.
        {junk + "\n" + junk + "\nk = \"1\"\n" + junk, "k", "2", 1, junk + "\n" + junk + "\nk = \"2\"\n" + junk},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.before.substr(0, 60));
        Vmx(r.before);
        EXPECT_EQ(WriteVmxValue(path, r.key.c_str(), r.value), r.result);
        EXPECT_EQ(ReadText(path), r.after);
        EXPECT_FALSE(Exists(temp));
    }
    EXPECT_EQ(WriteVmxValue(path, nullptr, "v"), 0);
}

TEST_F(VmxFileTest, WriteUsesTextModeLineEnds) {
    Vmx("a = \"1\"\n");
    EXPECT_EQ(WriteVmxValue(path, "k", "v"), 1);
#ifdef _WIN32
    EXPECT_EQ(ReadBytes(path), "a = \"1\"\r\nk = \"v\"\r\n");
    // A CR LF file is read with its line ends folded, so none doubles.
    EXPECT_EQ(WriteVmxValue(path, "k", "w"), 1);
    EXPECT_EQ(ReadBytes(path), "a = \"1\"\r\nk = \"w\"\r\n");
#else
    EXPECT_EQ(ReadBytes(path), "a = \"1\"\nk = \"v\"\n");
#endif
}

TEST_F(VmxFileTest, WriteOfMissingFileCreatesNothing) {
    EXPECT_EQ(WriteVmxValue(path, "k", "v"), 0);
    EXPECT_FALSE(Exists(path));
    EXPECT_FALSE(Exists(temp));
}

TEST_F(VmxFileTest, StaleTemporaryFileIsOverwrittenAndRemoved) {
    Vmx("a = \"1\"\n");
    WriteBytes(temp, "stale content that must not survive\n");
    EXPECT_EQ(WriteVmxValue(path, "a", "2"), 1);
    EXPECT_EQ(ReadText(path), "a = \"2\"\n");
    EXPECT_FALSE(Exists(temp));
    // Nothing to change: the stale file is overwritten and removed too.
    WriteBytes(temp, "stale\n");
    EXPECT_EQ(WriteVmxValue(path, "absent", nullptr), 0);
    EXPECT_FALSE(Exists(temp));
}

TEST_F(VmxFileTest, UncreatableTemporaryFileLeavesOriginalIntact) {
    const std::string original = "a = \"1\"\nk = \"old\"\n";
    Vmx(original);
    std::filesystem::create_directory(temp);  // the temporary file cannot be made
    EXPECT_EQ(WriteVmxValue(path, "k", "new"), 0);
    EXPECT_EQ(ReadBytes(path), original);
    EXPECT_TRUE(std::filesystem::is_directory(temp));  // and someone else's folder stays
}

TEST_F(VmxFileTest, FailedReplaceLeavesOriginalIntactAndRemovesTemporary) {
    const std::string original = "a = \"1\"\nk = \"old\"\n";
    Vmx(original);
    EXPECT_EQ(WriteVmxValue(path, "k", "new", &FailingReplace), 0);
    EXPECT_EQ(ReadBytes(path), original);
    EXPECT_FALSE(Exists(temp));
}

#ifndef _WIN32
// A full disk, natively: the temporary name leads to /dev/full, where every
// write fails at the latest when the file is closed.
TEST_F(VmxFileTest, FailedWriteLeavesOriginalIntactAndRemovesTemporary) {
    const std::string original = "a = \"1\"\nk = \"old\"\n";
    Vmx(original);
    std::filesystem::create_symlink("/dev/full", temp);
    EXPECT_EQ(WriteVmxValue(path, "k", "new"), 0);
    ASSERT_FALSE(std::filesystem::is_symlink(path));
    EXPECT_EQ(ReadBytes(path), original);
    EXPECT_FALSE(std::filesystem::is_symlink(temp));
    EXPECT_TRUE(std::filesystem::exists("/dev/full"));
}
#endif

TEST_F(VmxFileTest, FolderAsPathIsNeitherReplacedNorLeftWithTemporary) {
    std::string folder = dir.File("folder.vmx");
    std::filesystem::create_directory(folder);
    EXPECT_EQ(WriteVmxValue(folder, "k", "v"), 0);
    EXPECT_TRUE(std::filesystem::is_directory(folder));
    EXPECT_FALSE(Exists(folder + ".tmp"));
}

TEST_F(VmxFileTest, PathWhoseTemporaryNameWouldBeCutIsNotRewritten) {
    // 259 characters: "<path>.tmp" cut to 259 would be the file itself.
    const size_t base = dir.Path().string().size() + 1;
    ASSERT_LT(base + 10, 255u);
    std::string exact = dir.File(std::string(259 - base - 4, 'n') + ".vmx");
    ASSERT_EQ(exact.size(), 259u);
    WriteBytes(exact, "k = \"old\"\n");
    ASSERT_EQ(ReadBytes(exact), "k = \"old\"\n");
    EXPECT_EQ(WriteVmxValue(exact, "k", "new"), 0);
    EXPECT_EQ(ReadBytes(exact), "k = \"old\"\n");

    // 255 characters: the temporary name fits exactly.
    std::string fits = dir.File(std::string(255 - base - 4, 'f') + ".vmx");
    ASSERT_EQ(fits.size(), 255u);
    WriteBytes(fits, "k = \"old\"\n");
    EXPECT_EQ(WriteVmxValue(fits, "k", "new"), 1);
    EXPECT_EQ(ReadText(fits), "k = \"new\"\n");
    EXPECT_FALSE(Exists(fits + ".tmp"));
}
