// The Windows-free rules of the browser launch, the proxy warning and the
// registry report: handler commands, registry paths, the proxy settings blob
// and the texts sent to the appliance.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "host/CommandProgram.h"
#include "host/HandlerCommand.h"
#include "host/ProxyRules.h"
#include "host/ProxySettingsBlob.h"
#include "host/RegistryPath.h"
#include "host/RegistryValueText.h"

namespace holv {
namespace {

// ---- the program a command line names

// Each row: the command line, its first word, what follows it, and whether
// the word may be searched for (a bare name) or names one file (absolute).
// Anything else would be found from the current folder, the VM's.
TEST(CommandProgram, FirstWordAndItsForm) {
    const struct {
        const char* line;
        const char* word;
        const char* rest;
        bool bare, absolute;
    } rows[] = {
        {"cmd /c exit 7", "cmd", " /c exit 7", true, false},
        {"\"C:\\Program Files\\b.exe\"-x y", "C:\\Program Files\\b.exe", "-x y", false, true},
        {"\t\"unclosed quote", "unclosed quote", "", true, false},
        {"\\\\srv\\share\\t.exe a", "\\\\srv\\share\\t.exe", " a", false, true},
        {".\\cmd.exe /c x", ".\\cmd.exe", " /c x", false, false},
        {"sub\\tool", "sub\\tool", "", false, false},
        {"C:cmd.exe", "C:cmd.exe", "", false, false},                    // relative to drive C's current folder
        {"\\Windows\\cmd.exe", "\\Windows\\cmd.exe", "", false, false},  // the current drive
        {"..", "..", "", false, false},
        {"  ", "", "", false, false},
    };
    for (const auto& r : rows) {
        CommandProgram p = SplitCommandProgram(r.line);
        EXPECT_EQ(p.word, r.word) << r.line;
        EXPECT_STREQ(r.line + p.rest, r.rest) << r.line;
        EXPECT_EQ(IsBareProgramName(p.word), r.bare) << r.line;
        EXPECT_EQ(IsAbsolutePath(p.word), r.absolute) << r.line;
    }
    EXPECT_EQ(WithProgramExtension("C:\\a.b\\cmd"), "C:\\a.b\\cmd.exe");
    EXPECT_EQ(WithProgramExtension("regsvr32.exe"), "regsvr32.exe");
    EXPECT_TRUE(SameFolder("C:\\VM\\", "c:\\vm"));
    EXPECT_FALSE(SameFolder("C:\\VM2", "C:\\VM"));
}

// ---- handler commands

std::string Format(const char* command) {
    char format[kHandlerFormatSize];
    std::memset(format, 'Q', sizeof format);
    bool usable = MakeHandlerFormat(command, format);
    EXPECT_EQ(usable, format[0] != '\0');
    return usable ? format : "<unusable>";
}

// Each row: the registered command and the format made of it.
TEST(HandlerCommand, PlaceholderAndLengthRules) {
    const std::string c252(252, 'c'), c250(250, 'c');
    const std::pair<std::string, std::string> rows[] = {
        // The placeholder inside quotes keeps them: the URL lands inside.
        {"\"C:\\b\\browser.exe\" -- \"%1\"", "\"C:\\b\\browser.exe\" -- \"%s\""},
        {"browser.exe", "browser.exe %s"},  // without '%' the URL is appended
        // Further placeholders, or a first '%' that is not %1: unusable.
        {"browser.exe %1 %L", "<unusable>"},
        {"%ProgramFiles%\\b.exe %1", "<unusable>"},
        {"browser.exe %", "<unusable>"},
        {"browser.exe %s", "<unusable>"},  // a conversion of its own
        {"", "<unusable>"},
        {c252, c252 + " %s"},
        {c252 + "c", "<unusable>"},              // no room for " %s"
        {c250 + " %1", c250 + " %s"},            // a placeholder needs no room
        {std::string(5000, 'c'), "<unusable>"},  // never read beyond the 256 bytes read
    };
    for (const auto& [command, format] : rows) EXPECT_EQ(Format(command.c_str()), format) << command;
    EXPECT_EQ(Format(nullptr), "<unusable>");
}

// Whatever the appliance puts in a URL, it stays one argument: the bytes
// that could end the handler's quotes or split the line are encoded.
TEST(HandlerCommand, UrlEncodedForTheCommandLine) {
    const std::pair<const char*, const char*> cases[] = {
        {"https://a/?x=1&y=(2);z='3'#f", "https://a/?x=1&y=(2);z='3'#f"},
        {"https://a/\" --new-window \"x", "https://a/%22%20--new-window%20%22x"},
        {"https://a/<b>\\c^d`e{f|g}", "https://a/%3Cb%3E%5Cc%5Ed%60e%7Bf%7Cg%7D"},
        {"https://a/\t\r\n\x7F\xE4", "https://a/%09%0D%0A%7F%E4"},
        {"https://a/%20already", "https://a/%20already"},
    };
    char out[128];
    for (const auto& [url, encoded] : cases) {
        EncodeUrlForCommandLine(url, out, sizeof out);
        EXPECT_STREQ(out, encoded) << url;
    }
    char small[6];  // cut only between whole escapes
    EXPECT_EQ(EncodeUrlForCommandLine("ab\"cd", small, sizeof small), 5u);
    EXPECT_STREQ(small, "ab%22");
    EXPECT_EQ(EncodeUrlForCommandLine("abc\"d", small, sizeof small), 3u);
    EXPECT_STREQ(small, "abc");
}

TEST(HandlerCommand, EscapingForTheCommandInterpreter) {
    char out[64];
    EXPECT_EQ(EscapeForCommandInterpreter("https://a/?x=1&y=2|3<>^()", out, sizeof out), 32u);
    EXPECT_STREQ(out, "https://a/?x=1^&y=2^|3^<^>^^^(^)");
    // Cut only between whole escapes.
    char small[5];
    EXPECT_EQ(EscapeForCommandInterpreter("ab&c", small, sizeof small), 4u);
    EXPECT_STREQ(small, "ab^&");
    EXPECT_EQ(EscapeForCommandInterpreter("abc&", small, sizeof small), 3u);
    EXPECT_STREQ(small, "abc");
    EXPECT_EQ(EscapeForCommandInterpreter("x", small, 0), 0u);
}

// ---- registry paths

// Each row: a path from the appliance and its parts (root 0: rejected).
TEST(RegistryPath, SplitsRootKeyAndValue) {
    const struct {
        const char* path;
        RegistryRoot root;
        const char *key, *value;
    } rows[] = {
        {"HKLM\\SOFTWARE\\Holv\\Count", RootLocalMachine, "SOFTWARE\\Holv", "Count"},
        {"HKEY_CURRENT_USER\\Software\\X\\", RootCurrentUser, "Software\\X", ""},  // the default value
        {"HKU\\\\v", RootUsers, "", "v"},
        {"HKLM\\Value", RootNone, "", ""},  // one backslash: no key
        {"HKLM", RootNone, "", ""},
        {"", RootNone, "", ""},
        {"hklm\\SOFTWARE\\X", RootNone, "", ""},  // root names are case-sensitive
        {"\\SOFTWARE\\X", RootNone, "", ""},
    };
    for (const auto& r : rows) {
        RegistryPath p;
        ASSERT_EQ(SplitRegistryPath(r.path, &p), r.root != RootNone) << r.path;
        EXPECT_EQ(p.root, r.root) << r.path;  // untouched on failure
        EXPECT_EQ(p.key, r.key);
        EXPECT_EQ(p.value, r.value);
    }
    RegistryPath p;
    EXPECT_FALSE(SplitRegistryPath(nullptr, &p));
}

// ---- the proxy settings blob

std::string Word(uint32_t v) {
    std::string s(4, '\0');
    for (int i = 0; i < 4; ++i) s[i] = static_cast<char>(v >> (8 * i));
    return s;
}
std::string Str(const std::string& text) {
    return Word(static_cast<uint32_t>(text.size())) + text;
}

std::string Blob(uint32_t flags, const std::string& s1, const std::string& s2, const std::string& s3) {
    return Word(0x46) + Word(7) + Word(flags) + Str(s1) + Str(s2) + Str(s3);
}

std::string Summary(const std::string& blob, size_t cap = 2047) {
    // Exactly the blob's bytes on the heap, so ASan sees any read beyond.
    std::unique_ptr<uint8_t[]> bytes(new uint8_t[blob.size() ? blob.size() : 1]);
    std::memcpy(bytes.get(), blob.data(), blob.size());
    std::string out(cap + 8, 'Q');
    size_t n = FormatProxySummary(bytes.get(), blob.size(), out.data(), cap);
    EXPECT_EQ(out.substr(cap), std::string(8, 'Q'));
    EXPECT_EQ(n, std::strlen(out.c_str()));
    return out.c_str();
}

// Each row: a blob and its summary. Flags 2: manual proxy ('m'), 4:
// automatic detection ('w' second); further flags 4: S4 is the script URL
// ('w' third). A length past the end, even one that would wrap an addition,
// ends the reading there.
TEST(ProxySettingsBlob, FlagsStringsAndDamage) {
    const std::string head = Word(0) + Word(0) + Word(2), further = Blob(2, "p", "", "e") + Word(4);
    std::string cutS3 = Blob(2, "p", "", "");
    cutS3.resize(cutS3.size() - 4);
    const std::pair<std::string, std::string> rows[] = {
        {Blob(3, "proxy:8080", "ignored", "<local>"), "m--;proxy:8080;;<local>"},
        {Blob(4, "", "", ""), "-w-;;;"},
        {Blob(1, "", "", ""), "---;;;"},
        {Blob(6, "p:1", "x", "*.local") + Word(4) + Str("http://wpad/wpad.dat"),
         "mww;p:1;http://wpad/wpad.dat;*.local"},
        {Blob(2, "p", "", "") + Word(1) + Str("zzz"), "m--;p;;"},   // no bit 4: no S4 read
        {Blob(2, std::string("ab\0cd", 5), "", "e"), "m--;ab;;e"},  // strings end at their first NUL
        {cutS3 + Word(100) + "abc", "m--;p;;abc"},                  // S3 past the end is cut there
        {head + Word(0xFFFFFFFF) + "x", ""},
        {head + Str("a") + Word(0xFFFFFFF0), ""},
        {head + Str("a") + Str("") + Word(0xFFFFFFFF), "m--;a;;"},
        {further + Word(10) + "abc", "m-w;p;;e"},  // S4 not whole: absent; the flag still shows
        {further + Word(0), "m-w;p;;e"},
        {further, "m-w;p;;e"},
        {further.substr(0, further.size() - 1), "m--;p;;e"},  // further flags cut: absent
        {"", ""},
    };
    for (const auto& [blob, summary] : rows) EXPECT_EQ(Summary(blob), summary) << blob.size();
    // Every truncation of a whole blob: never a read beyond, nothing until
    // S3's length is inside.
    const std::string full = Blob(3, "proxy:8080", "s2", "exceptions") + Word(4) + Str("http://x/");
    for (size_t n = 0; n <= full.size(); ++n)
        EXPECT_EQ(Summary(full.substr(0, n)).substr(0, 2), n < 16 + 10 + 4 + 2 + 4 ? "" : "m-") << n;
    EXPECT_EQ(Summary(full), "m-w;proxy:8080;http://x/;exceptions");
}

TEST(ProxySettingsBlob, OutputIsBounded) {
    std::string big(3000, 'x');
    EXPECT_EQ(Summary(Blob(2, big, "", big), 2047).size(), 2046u);
    EXPECT_EQ(Summary(Blob(2, "abc", "", ""), 3), "m-");
    char none = 'Q';
    EXPECT_EQ(FormatProxySummary(nullptr, 0, &none, 0), 0u);
    EXPECT_EQ(none, 'Q');
}

// ---- the reported value

std::string Report(const char* name, uint32_t type, const std::string& data, bool failed = false) {
    uint8_t out[kReportedValueSize + 1];
    std::memset(out, 0x11, sizeof out);
    size_t n = FormatReportedValue(name, type, failed ? nullptr : reinterpret_cast<const uint8_t*>(data.data()),
                                   data.size(), out);
    EXPECT_GE(n, 1u);
    EXPECT_EQ(out[n - 1], kReportEnd);
    return std::string(reinterpret_cast<const char*>(out), n);
}

TEST(RegistryValueText, ByType) {
    const std::string blob = Blob(3, "p", "", "e");
    EXPECT_EQ(Report("v", kRegString, std::string("hello\0\0", 7)), "hello\xff");
    EXPECT_EQ(Report("v", kRegDword, Word(0x01020304)), "16909060\xff");
    EXPECT_EQ(Report("v", kRegDword, "ab"), "\xff");  // not 32 bits
    EXPECT_EQ(Report(kProxySettingsValue, kRegBinary, blob), "m--;p;;e\xff");
    EXPECT_EQ(Report("v", kRegBinary, blob), "\xff");  // another binary value
    EXPECT_EQ(Report("v", 7 /* REG_MULTI_SZ */, std::string("a\0b\0\0", 5)), "\xff");
    EXPECT_EQ(Report("v", kRegString, "x", /*failed=*/true), "\xff");
    EXPECT_EQ(Report(nullptr, kRegBinary, blob), "\xff");
}

TEST(RegistryValueText, FullBuffer) {
    std::string text(kReportedValueSize, 's');  // read without a NUL
    std::string r = Report("v", kRegString, text);
    EXPECT_EQ(r.size(), kReportedValueSize + 1);
    EXPECT_EQ(r.substr(0, kReportedValueSize), text);
    // More than the buffer holds is never a successful read.
    EXPECT_EQ(Report("v", kRegString, std::string(kReportedValueSize + 1, 's')), "\xff");
}

// ---- proxy rules

TEST(ProxyRules, Override) {
    char out[kProxyOverrideSize];
    ASSERT_TRUE(ComposeProxyOverride("https://10.0.0.1", "<local>", out));
    EXPECT_STREQ(out, "https://10.0.0.1;<local>");
    ASSERT_TRUE(ComposeProxyOverride("https://10.0.0.1", nullptr, out));
    EXPECT_STREQ(out, "https://10.0.0.1");
    std::string exact(2047 - 17, 'o');
    ASSERT_TRUE(ComposeProxyOverride("https://10.0.0.1", exact.c_str(), out));
    EXPECT_EQ(std::strlen(out), 2047u);
    // One more and the user's list would be cut: nothing is composed.
    std::strcpy(out, "unchanged");
    EXPECT_FALSE(ComposeProxyOverride("https://10.0.0.1", (exact + "o").c_str(), out));
    EXPECT_STREQ(out, "unchanged");
}

}  // namespace
}  // namespace holv
