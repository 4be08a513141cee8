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

// ---- reading ---------------------------------------------------------------

TEST_F(VmxFileTest, KeyMatchesIgnoringCaseWhenBlankOrEqualsFollows) {
    EXPECT_EQ(Read("CONFIG.VERSION = \"8\"\n", "config.version"), "8");
    EXPECT_EQ(Read("config.version=\"9\"\n", "Config.Version"), "9");
    // A longer key that only begins with the asked one is another key.
    EXPECT_EQ(Read("config.versionx = \"1\"\nconfig.version = \"2\"\n", "config.version"), "2");
    EXPECT_EQ(Read("config.version.x = \"1\"\n", "config.version"), std::nullopt);
    // Only a blank counts, not a tab; and the key must start the line.
    EXPECT_EQ(Read("config.version\t= \"3\"\n", "config.version"), std::nullopt);
    EXPECT_EQ(Read(" config.version = \"4\"\n", "config.version"), std::nullopt);
    // Non-ASCII letters are not folded.
    EXPECT_EQ(Read("k\xc4y = \"5\"\n", "k\xe4y"), std::nullopt);
}

TEST_F(VmxFileTest, ValueIsTextBetweenFirstTwoQuotesOfFirstKeyLine) {
    EXPECT_EQ(Read("a = \"one\" \"two\"\n", "a"), "one");
    EXPECT_EQ(Read("a = \"\"\n", "a"), "");
    EXPECT_EQ(Read("a = \"  spaced value \"\n", "a"), "  spaced value ");
    // The first line of the key decides, even without a quoted value.
    EXPECT_EQ(Read("a = plain\na = \"later\"\n", "a"), std::nullopt);
    EXPECT_EQ(Read("a = \"unterminated\na = \"later\"\n", "a"), std::nullopt);
    EXPECT_EQ(Read("b = \"x\"\n", "a"), std::nullopt);
    EXPECT_EQ(Read("", "a"), std::nullopt);
    // Windows line ends do not leak into the value.
    EXPECT_EQ(Read("x = \"1\"\r\na = \"crlf\"\r\n", "a"), "crlf");
    // No newline at the end of the file.
    EXPECT_EQ(Read("a = \"last\"", "a"), "last");
}

TEST_F(VmxFileTest, UnreadableSourcesReadAsAbsent) {
    EXPECT_EQ(ReadVmxValue(dir.File("missing.vmx"), "a"), std::nullopt);
    // A folder as the path.
    EXPECT_EQ(ReadVmxValue(dir.Path().string(), "a"), std::nullopt);
    EXPECT_EQ(Read("a = \"1\"\n", nullptr), std::nullopt);
    EXPECT_EQ(Read(" = \"1\"\n", ""), std::nullopt);
}

TEST_F(VmxFileTest, LongLinesAreReadInPiecesOf255Characters) {
    // The key text at offset 255 of a long line starts a piece of its own.
    std::string filler(255, 'x');
    EXPECT_EQ(Read(filler + "a = \"piece\"\n", "a"), "piece");
    // At offset 254 it does not.
    EXPECT_EQ(Read(std::string(254, 'x') + "a = \"piece\"\n", "a"), std::nullopt);
    // A value that runs past the first piece has no closing quote in it.
    EXPECT_EQ(Read("a = \"" + std::string(300, 'v') + "\"\n", "a"), std::nullopt);
    // The longest value that fits the piece.
    std::string longest(255 - 6, 'v');
    EXPECT_EQ(Read("a = \"" + longest + "\"\n", "a"), longest);
    // Very long lines before the key do not disturb it.
    EXPECT_EQ(Read(std::string(10000, 'y') + "\na = \"after\"\n", "a"), "after");
    // Over-long keys.
    std::string longKey(300, 'k');
    EXPECT_EQ(Read(longKey + " = \"1\"\n", longKey.c_str()), std::nullopt);
    std::string hugeKey(20000, 'k');
    EXPECT_EQ(Read(hugeKey + " = \"1\"\n", hugeKey.c_str()), std::nullopt);
}

TEST_F(VmxFileTest, BinaryJunkDoesNotHideLaterKeys) {
    std::string junk("\0\0\x01\xff\x1a\x7f junk \"\0\"\n", 16);
    EXPECT_EQ(Read(junk + "a = \"found\"\n", "a"), "found");
    // A NUL inside the key's line ends what is compared of it.
    EXPECT_EQ(Read(std::string("a = \0\"hidden\"\n", 14), "a"), std::nullopt);
    // A Ctrl-Z is no end of file here.
    EXPECT_EQ(Read("x = \"1\"\n\x1a\na = \"2\"\n", "a"), "2");
}

// ---- rewriting -------------------------------------------------------------

TEST_F(VmxFileTest, WriteReplacesEveryLineOfKeyWithCallersSpelling) {
    Vmx("a = \"1\"\nKEY = \"x\"\nb = \"2\"\nkey=\"y\"\n");
    EXPECT_EQ(WriteVmxValue(path, "Key", "v"), 1);
    EXPECT_EQ(ReadText(path), "a = \"1\"\nKey = \"v\"\nb = \"2\"\nKey = \"v\"\n");
    EXPECT_FALSE(Exists(temp));
}

TEST_F(VmxFileTest, WriteNoneDeletesEveryLineOfKey) {
    Vmx("a = \"1\"\nkey = \"x\"\nb = \"2\"\nKEY = \"y\"\nkeys = \"z\"\n");
    EXPECT_EQ(WriteVmxValue(path, "key", nullptr), 1);
    EXPECT_EQ(ReadText(path), "a = \"1\"\nb = \"2\"\nkeys = \"z\"\n");
    // Deleting an absent key changes nothing and leaves no temporary file.
    EXPECT_EQ(WriteVmxValue(path, "key", nullptr), 0);
    EXPECT_EQ(ReadText(path), "a = \"1\"\nb = \"2\"\nkeys = \"z\"\n");
    EXPECT_FALSE(Exists(temp));
}

TEST_F(VmxFileTest, WriteAppendsMissingKeyEndingAnUnfinishedLastLine) {
    Vmx("a = \"1\"");
    EXPECT_EQ(WriteVmxValue(path, "k", "v"), 1);
    EXPECT_EQ(ReadText(path), "a = \"1\"\nk = \"v\"\n");

    Vmx("a = \"1\"\n");
    EXPECT_EQ(WriteVmxValue(path, "k", "v"), 1);
    EXPECT_EQ(ReadText(path), "a = \"1\"\nk = \"v\"\n");

    // An empty file gets an empty first line.
    Vmx("");
    EXPECT_EQ(WriteVmxValue(path, "k", "v"), 1);
    EXPECT_EQ(ReadText(path), "\nk = \"v\"\n");
    EXPECT_EQ(ReadVmxValue(path, "k"), "v");
    EXPECT_FALSE(Exists(temp));
}

TEST_F(VmxFileTest, WritingTheSameValueStillRewrites) {
    Vmx("k = \"v\"\n");
    EXPECT_EQ(WriteVmxValue(path, "k", "v"), 1);
    EXPECT_EQ(ReadText(path), "k = \"v\"\n");
    // Lenient spellings become the written format.
    Vmx("K=\"v\"   trailing\n");
    EXPECT_EQ(WriteVmxValue(path, "k", "v"), 1);
    EXPECT_EQ(ReadText(path), "k = \"v\"\n");
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

TEST_F(VmxFileTest, ValuesCannotBreakOutOfTheirLine) {
    Vmx("appliance.hostname = \"old\"\n");
    EXPECT_EQ(WriteVmxValue(path, "appliance.hostname", "evil\nuuid.action = \"create\"\r\n"), 1);
    EXPECT_EQ(ReadText(path), "appliance.hostname = \"evil\"\n");
    EXPECT_EQ(ReadVmxValue(path, "uuid.action"), std::nullopt);
    EXPECT_EQ(WriteVmxValue(path, "appliance.hostname", "half\"quoted"), 1);
    EXPECT_EQ(ReadVmxValue(path, "appliance.hostname"), "half");
    // Keys that could not be read back as one key are refused.
    EXPECT_EQ(WriteVmxValue(path, "bad key", "v"), 0);
    EXPECT_EQ(WriteVmxValue(path, "bad\nkey", "v"), 0);
    EXPECT_EQ(WriteVmxValue(path, "", "v"), 0);
    EXPECT_EQ(WriteVmxValue(path, nullptr, "v"), 0);
    EXPECT_EQ(ReadText(path), "appliance.hostname = \"half\"\n");
}

TEST_F(VmxFileTest, LongLinesSurviveRewriteAndLongKeyLinesAreReplacedWhole) {
    const std::string long300(300, 'x');
    const std::string long10k(10000, 'y');
    Vmx(long300 + "\nk = \"" + std::string(400, 'v') + "\"\n" + long10k + "\nb = \"2\"\n");
    EXPECT_EQ(WriteVmxValue(path, "k", "short"), 1);
    EXPECT_EQ(ReadText(path), long300 + "\nk = \"short\"\n" + long10k + "\nb = \"2\"\n");
    // Deleting it takes the whole line too.
    Vmx("k = \"" + std::string(600, 'v') + "\"\nb = \"2\"\n");
    EXPECT_EQ(WriteVmxValue(path, "k", nullptr), 1);
    EXPECT_EQ(ReadText(path), "b = \"2\"\n");
    // An over-long key is never found and the file is left as it was.
    std::string hugeKey(20000, 'k');
    Vmx(hugeKey + " = \"1\"\n");
    EXPECT_EQ(WriteVmxValue(path, hugeKey.c_str(), nullptr), 0);
    EXPECT_EQ(ReadText(path), hugeKey + " = \"1\"\n");
}

TEST_F(VmxFileTest, BinaryJunkIsCopiedThroughUnchanged) {
    std::string junk;
    for (int c = 0; c < 256; ++c) {
        if (c != '\n' && c != '\r') junk += static_cast<char>(c);
    }
    Vmx(junk + "\n" + junk + "\nk = \"1\"\n" + junk);
    EXPECT_EQ(WriteVmxValue(path, "k", "2"), 1);
    EXPECT_EQ(ReadText(path), junk + "\n" + junk + "\nk = \"2\"\n" + junk);
    EXPECT_EQ(ReadVmxValue(path, "k"), "2");
}
