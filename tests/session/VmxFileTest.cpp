#include <gtest/gtest.h>

#include <functional>
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
    const std::string hugeKey(20000, 'k'), longest(255 - 6, 'v');
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
        {"a = plain\na = \"later\"\n", "a", std::nullopt},
        {"a = \"unterminated\na = \"later\"\n", "a", std::nullopt},
        {"", "a", std::nullopt},
        {"x = \"1\"\r\na = \"crlf\"\r\n", "a", "crlf"},
        {"a = \"last\"", "a", "last"},
        // Long lines are read in pieces of 255 characters.
        {std::string(255, 'x') + "a = \"piece\"\n", "a", "piece"},
        {std::string(254, 'x') + "a = \"piece\"\n", "a", std::nullopt},
        {"a = \"" + std::string(300, 'v') + "\"\n", "a", std::nullopt},
        {"a = \"" + longest + "\"\n", "a", longest},
        {std::string(10000, 'y') + "\na = \"after\"\n", "a", "after"},
        {hugeKey + " = \"1\"\n", hugeKey, std::nullopt},
        // Binary junk hides nothing after it; a NUL ends what is compared.
        {junk + "a = \"found\"\n", "a", "found"},
        {std::string("a = \0\"hidden\"\n", 14), "a", std::nullopt},
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
        {"", "k", "v", 1, "\nk = \"v\"\n"},
        // The same value still rewrites, in the written format.
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

// A crashed run's temporary file is overwritten and removed. The file gets
// the platform's line ends; on Windows a CR LF file is read with its line ends
// folded, so none doubles.
TEST_F(VmxFileTest, StaleTemporaryFileAndLineEnds) {
    Vmx("a = \"1\"\n");
    WriteBytes(temp, "stale content that must not survive\n");
    EXPECT_EQ(WriteVmxValue(path, "k", "v"), 1);
    EXPECT_FALSE(Exists(temp));
    EXPECT_EQ(WriteVmxValue(path, "k", "w"), 1);
#ifdef _WIN32
    EXPECT_EQ(ReadBytes(path), "a = \"1\"\r\nk = \"w\"\r\n");
#else
    EXPECT_EQ(ReadBytes(path), "a = \"1\"\nk = \"w\"\n");
#endif
}

// Each row: what makes the rewrite fail. The file stays byte for byte as it
// was, and no temporary file of ours is left (a folder of that name stays).
TEST_F(VmxFileTest, AFailedRewriteLeavesTheFileAsItWas) {
    const std::string original = "a = \"1\"\nk = \"old\"\n";
    const struct {
        const char* what;
        std::function<void()> prepare;
        VmxReplaceFn replace;
    } rows[] = {
        {"the temporary name is a folder", [&] { std::filesystem::create_directory(temp); }, &VmxReplaceFile},
        {"the replace fails", [] {}, &FailingReplace},
#ifndef _WIN32
        // A full disk: every write fails at the latest when the file is closed.
        {"the disk is full", [&] { std::filesystem::create_symlink("/dev/full", temp); }, &VmxReplaceFile},
#endif
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.what);
        std::filesystem::remove_all(temp);
        Vmx(original);
        r.prepare();
        bool folder = std::filesystem::is_directory(temp);
        EXPECT_EQ(WriteVmxValue(path, "k", "new", r.replace), 0);
        EXPECT_EQ(ReadBytes(path), original);
        EXPECT_EQ(Exists(temp), folder);
    }
    // A missing file is not created, a folder not replaced.
    const std::string missing = dir.File("missing.vmx"), folder = dir.File("folder.vmx");
    std::filesystem::create_directory(folder);
    EXPECT_EQ(WriteVmxValue(missing, "k", "v"), 0);
    EXPECT_EQ(WriteVmxValue(folder, "k", "v"), 0);
    EXPECT_FALSE(Exists(missing) || Exists(missing + ".tmp") || Exists(folder + ".tmp"));
    EXPECT_TRUE(std::filesystem::is_directory(folder));
}

TEST_F(VmxFileTest, PathWhoseTemporaryNameWouldBeCutIsNotRewritten) {
    // 259 characters: "<path>.tmp" cut to 259 would be the file itself;
    // at 255 the temporary name fits exactly.
    const size_t base = dir.Path().string().size() + 1;
    ASSERT_LT(base + 10, 255u);
    for (size_t size : {259u, 255u}) {
        std::string file = dir.File(std::string(size - base - 4, 'n') + ".vmx");
        ASSERT_EQ(file.size(), size);
        WriteBytes(file, "k = \"old\"\n");
        EXPECT_EQ(WriteVmxValue(file, "k", "new"), size == 255u ? 1 : 0);
        EXPECT_EQ(ReadText(file), size == 255u ? "k = \"new\"\n" : "k = \"old\"\n");
        EXPECT_FALSE(Exists(file + ".tmp"));
    }
}
