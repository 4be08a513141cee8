// The Windows-free rules of the browser launch, the proxy warning and the
// registry report: handler commands, registry paths, the proxy settings blob
// and the texts sent to the appliance.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "host/HandlerCommand.h"
#include "host/ProxyRules.h"
#include "host/ProxySettingsBlob.h"
#include "host/RegistryPath.h"
#include "host/RegistryValueText.h"

namespace holv {
namespace {

// ---- handler commands

std::string Format(const char* command) {
    char format[kHandlerFormatSize];
    std::memset(format, 'Q', sizeof format);
    bool usable = MakeHandlerFormat(command, format);
    EXPECT_EQ(usable, format[0] != '\0');
    return usable ? format : "<unusable>";
}

TEST(HandlerCommand, Scheme) {
    EXPECT_EQ(UrlSchemeLength("https://10.0.0.1/"), 5u);
    EXPECT_EQ(UrlSchemeLength("mailto:a@b"), 6u);
    EXPECT_EQ(UrlSchemeLength("no-scheme"), 0u);
    EXPECT_EQ(UrlSchemeLength(":x"), 0u);
    EXPECT_EQ(UrlSchemeLength(""), 0u);
    EXPECT_EQ(UrlSchemeLength(nullptr), 0u);
}

TEST(HandlerCommand, PlaceholderRules) {
    // The placeholder inside quotes keeps them: the URL lands inside.
    EXPECT_EQ(Format("\"C:\\b\\browser.exe\" -- \"%1\""), "\"C:\\b\\browser.exe\" -- \"%s\"");
    EXPECT_EQ(Format("browser.exe %1"), "browser.exe %s");
    // Further placeholders, or a first '%' that is not %1: unusable.
    EXPECT_EQ(Format("browser.exe %1 %L"), "<unusable>");
    EXPECT_EQ(Format("browser.exe %1 %*"), "<unusable>");
    EXPECT_EQ(Format("%ProgramFiles%\\b.exe %1"), "<unusable>");
    EXPECT_EQ(Format("browser.exe %"), "<unusable>");
    EXPECT_EQ(Format("browser.exe %s"), "<unusable>");  // a conversion of its own
    // Without '%' the URL is appended.
    EXPECT_EQ(Format("browser.exe"), "browser.exe %s");
    EXPECT_EQ(Format(""), "<unusable>");
    EXPECT_EQ(Format(nullptr), "<unusable>");
}

TEST(HandlerCommand, LengthLimits) {
    std::string c252(252, 'c'), c253(253, 'c');
    EXPECT_EQ(Format(c252.c_str()), c252 + " %s");
    EXPECT_EQ(Format(c253.c_str()), "<unusable>");
    std::string withPlaceholder(250, 'c');
    withPlaceholder += " %1";  // 253 characters: a placeholder needs no room
    EXPECT_EQ(Format(withPlaceholder.c_str()), std::string(250, 'c') + " %s");
    // Longer than the 256 bytes the command is read into: never read beyond.
    std::string huge(5000, 'c');
    EXPECT_EQ(Format(huge.c_str()), "<unusable>");
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
    EXPECT_EQ(EscapeForCommandInterpreter("https://a/?x=1&y=2|3", out, sizeof out), 22u);
    EXPECT_STREQ(out, "https://a/?x=1^&y=2^|3");
    EscapeForCommandInterpreter("<>^()", out, sizeof out);
    EXPECT_STREQ(out, "^<^>^^^(^)");
    EscapeForCommandInterpreter("https://10.0.0.1/", out, sizeof out);
    EXPECT_STREQ(out, "https://10.0.0.1/");
    // Cut only between whole escapes.
    char small[5];
    EXPECT_EQ(EscapeForCommandInterpreter("ab&c", small, sizeof small), 4u);
    EXPECT_STREQ(small, "ab^&");
    EXPECT_EQ(EscapeForCommandInterpreter("abc&", small, sizeof small), 3u);
    EXPECT_STREQ(small, "abc");
    EXPECT_EQ(EscapeForCommandInterpreter("x", small, 0), 0u);
}

// ---- registry paths

TEST(RegistryPath, SplitsRootKeyAndValue) {
    RegistryPath p;
    ASSERT_TRUE(SplitRegistryPath("HKLM\\SOFTWARE\\Holv\\Count", &p));
    EXPECT_EQ(p.root, RootLocalMachine);
    EXPECT_EQ(p.key, "SOFTWARE\\Holv");
    EXPECT_EQ(p.value, "Count");
    ASSERT_TRUE(SplitRegistryPath("HKEY_CURRENT_USER\\Software\\X\\", &p));
    EXPECT_EQ(p.root, RootCurrentUser);
    EXPECT_EQ(p.key, "Software\\X");
    EXPECT_EQ(p.value, "");  // the default value
    ASSERT_TRUE(SplitRegistryPath("HKU\\\\v", &p));
    EXPECT_EQ(p.key, "");
    EXPECT_EQ(p.value, "v");
    ASSERT_TRUE(SplitRegistryPath("HKCR\\a\\b\\c\\d", &p));
    EXPECT_EQ(p.key, "a\\b\\c");
}

TEST(RegistryPath, Roots) {
    const char* names[][2] = {{"HKLM", "HKEY_LOCAL_MACHINE"}, {"HKCU", "HKEY_CURRENT_USER"},
                              {"HKCR", "HKEY_CLASSES_ROOT"},  {"HKCC", "HKEY_CURRENT_CONFIG"},
                              {"HKU", "HKEY_USERS"},          {"HKPD", "HKEY_PERFORMANCE_DATA"}};
    RegistryRoot roots[] = {RootLocalMachine,  RootCurrentUser, RootClassesRoot,
                            RootCurrentConfig, RootUsers,       RootPerformanceData};
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(RegistryRootFromName(names[i][0]), roots[i]) << names[i][0];
        EXPECT_EQ(RegistryRootFromName(names[i][1]), roots[i]) << names[i][1];
    }
    EXPECT_EQ(RegistryRootFromName("hklm"), RootNone);  // case-sensitive
    EXPECT_EQ(RegistryRootFromName("HKLM "), RootNone);
    EXPECT_EQ(RegistryRootFromName(""), RootNone);
}

TEST(RegistryPath, BadPaths) {
    RegistryPath p;
    EXPECT_FALSE(SplitRegistryPath("HKLM\\Value", &p));  // one backslash
    EXPECT_FALSE(SplitRegistryPath("HKLM", &p));
    EXPECT_FALSE(SplitRegistryPath("", &p));
    EXPECT_FALSE(SplitRegistryPath(nullptr, &p));
    EXPECT_FALSE(SplitRegistryPath("hklm\\SOFTWARE\\X", &p));
    EXPECT_FALSE(SplitRegistryPath("\\SOFTWARE\\X", &p));
    EXPECT_EQ(p.root, RootNone);  // untouched on failure
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

TEST(ProxySettingsBlob, FlagsAndStrings) {
    // Direct and manual proxy, no further flags.
    EXPECT_EQ(Summary(Blob(3, "proxy:8080", "ignored", "<local>")), "m--;proxy:8080;;<local>");
    EXPECT_EQ(Summary(Blob(4, "", "", "")), "-w-;;;");
    EXPECT_EQ(Summary(Blob(1, "", "", "")), "---;;;");
    // Further flags with automatic detection and a script URL.
    std::string withScript = Blob(6, "p:1", "x", "*.local") + Word(4) + Str("http://wpad/wpad.dat");
    EXPECT_EQ(Summary(withScript), "mww;p:1;http://wpad/wpad.dat;*.local");
    // Further flags without bit 4: no S4 read even if bytes follow.
    EXPECT_EQ(Summary(Blob(2, "p", "", "") + Word(1) + Str("zzz")), "m--;p;;");
    // Strings end at their first NUL.
    EXPECT_EQ(Summary(Blob(2, std::string("ab\0cd", 5), "", "e")), "m--;ab;;e");
}

TEST(ProxySettingsBlob, TruncatedAndOverlongBlobs) {
    std::string full = Blob(3, "proxy:8080", "s2", "exceptions") + Word(4) + Str("http://x/");
    // Every truncation: never a read beyond, and the rules for each part.
    for (size_t n = 0; n <= full.size(); ++n) {
        std::string s = Summary(full.substr(0, n));
        if (n < 16 + 10 + 4 + 2 + 4)
            EXPECT_EQ(s, "") << n;  // S1, S2 or S3's length not inside
        else
            EXPECT_EQ(s.substr(0, 2), "m-") << n;
    }
    EXPECT_EQ(Summary(full), "m-w;proxy:8080;http://x/;exceptions");
    // S3 running past the end is cut there; no further flags then.
    std::string cut = Blob(2, "p", "", "");
    cut.resize(cut.size() - 4);
    cut += Word(100) + "abc";
    EXPECT_EQ(Summary(cut), "m--;p;;abc");
    // Lengths past the end, including ones that would wrap an addition.
    EXPECT_EQ(Summary(Word(0) + Word(0) + Word(2) + Word(0xFFFFFFFF) + "x"), "");
    EXPECT_EQ(Summary(Word(0) + Word(0) + Word(2) + Str("a") + Word(0xFFFFFFF0)), "");
    EXPECT_EQ(Summary(Word(0) + Word(0) + Word(2) + Str("a") + Str("") + Word(0xFFFFFFFF)), "m--;a;;");
    // S4 announced but not whole, or empty: absent; the third flag still shows.
    std::string base = Blob(2, "p", "", "e") + Word(4);
    EXPECT_EQ(Summary(base + Word(10) + "abc"), "m-w;p;;e");
    EXPECT_EQ(Summary(base + Word(0)), "m-w;p;;e");
    EXPECT_EQ(Summary(base), "m-w;p;;e");
    EXPECT_EQ(Summary(base.substr(0, base.size() - 1)), "m--;p;;e");  // further flags cut: absent
    EXPECT_EQ(Summary("", 16), "");
}

TEST(ProxySettingsBlob, OutputIsBounded) {
    std::string big(3000, 'x');
    std::string s = Summary(Blob(2, big, "", big), 2047);
    EXPECT_EQ(s.size(), 2046u);
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
    EXPECT_EQ(Report("v", kRegString, std::string("hello\0\0", 7)), "hello\xff");
    EXPECT_EQ(Report("v", kRegString, std::string("", 0)), "\xff");
    EXPECT_EQ(Report("v", kRegDword, Word(5)), "5\xff");
    EXPECT_EQ(Report("v", kRegDword, Word(0xFFFFFFFF)), "4294967295\xff");
    EXPECT_EQ(Report("v", kRegDword, "ab"), "\xff");                    // not 32 bits
    EXPECT_EQ(Report("v", kRegBinary, Blob(3, "p", "", "e")), "\xff");  // another binary value
    EXPECT_EQ(Report(kProxySettingsValue, kRegBinary, Blob(3, "p", "", "e")), "m--;p;;e\xff");
    EXPECT_EQ(Report("defaultconnectionsettings", kRegBinary, Blob(3, "p", "", "e")), "\xff");
    EXPECT_EQ(Report("v", 7 /* REG_MULTI_SZ */, std::string("a\0b\0\0", 5)), "\xff");
    EXPECT_EQ(Report("v", kRegString, "x", /*failed=*/true), "\xff");
    EXPECT_EQ(Report(nullptr, kRegBinary, Blob(3, "p", "", "e")), "\xff");
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

TEST(ProxyRules, InUse) {
    EXPECT_TRUE(ProxyInUse({8u, std::nullopt, std::nullopt}));
    EXPECT_FALSE(ProxyInUse({7u, std::nullopt, std::nullopt}));
    EXPECT_TRUE(ProxyInUse({8u, 0u, std::nullopt}));  // a script even with the proxy off
    EXPECT_TRUE(ProxyInUse({std::nullopt, 1u, 2u}));
    EXPECT_FALSE(ProxyInUse({std::nullopt, 1u, 1u}));  // just the NUL
    EXPECT_FALSE(ProxyInUse({std::nullopt, 0u, 20u}));
    EXPECT_FALSE(ProxyInUse({std::nullopt, std::nullopt, 20u}));
    EXPECT_FALSE(ProxyInUse({std::nullopt, 1u, std::nullopt}));
}

TEST(ProxyRules, Override) {
    char out[kProxyOverrideSize];
    ASSERT_TRUE(ComposeProxyOverride("https://10.0.0.1", "<local>", out));
    EXPECT_STREQ(out, "https://10.0.0.1;<local>");
    ASSERT_TRUE(ComposeProxyOverride("https://10.0.0.1", "", out));
    EXPECT_STREQ(out, "https://10.0.0.1");
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
