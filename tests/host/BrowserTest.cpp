// Opening URLs and the appliance's web interface under Wine, with the stand-in
// browser (tools/browser-standin) registered as the handler, and the proxy
// warning answered through tools/uiauto. Changes URL handlers and Internet
// Settings: runs only in a throwaway prefix (holv_e2e_test).
#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "UiAuto.h"
#include "backends/ApplianceGui.h"
#include "e2e/E2eHarness.h"
#include "host/Browser.h"
#include "host/ProxyCheck.h"
#include "session/FakeBackend.h"
#include "ui/StatusDisplay.h"

namespace holv {
namespace {

constexpr char kApplianceIp[] = "10.88.0.2";
constexpr char kUserChoiceFormat[] =
    "Software\\Microsoft\\Windows\\Shell\\Associations\\UrlAssociations\\%s\\UserChoice";

LONG SetString(HKEY root, const std::string& key, const char* name, const std::string& value) {
    UniqueKey k;
    LONG rc = RegCreateKeyExA(root, key.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, k.put(), nullptr);
    if (rc != ERROR_SUCCESS) return rc;
    return RegSetValueExA(k.get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                          static_cast<DWORD>(value.size() + 1));
}

LONG SetDword(HKEY root, const std::string& key, const char* name, DWORD value) {
    UniqueKey k;
    LONG rc = RegCreateKeyExA(root, key.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, k.put(), nullptr);
    if (rc != ERROR_SUCCESS) return rc;
    return RegSetValueExA(k.get(), name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
}

std::string GetString(HKEY root, const std::string& key, const char* name) {
    char text[4096];
    DWORD size = sizeof text;
    if (RegGetValueA(root, key.c_str(), name, RRF_RT_REG_SZ, nullptr, text, &size) != ERROR_SUCCESS) return "<none>";
    return text;
}

std::string UserChoiceKey(const char* scheme) {
    char key[256];
    snprintf(key, sizeof key, kUserChoiceFormat, scheme);
    return key;
}

class Browser : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(e2e::InThrowawayPrefix()) << "changes URL handlers: run through scripts/wine-fresh.sh";
        ASSERT_TRUE(scratch_.ok());
        log_ = scratch_.Join("calls.txt");
        browser_ = e2e::ProgramPath("holv-browser.exe");
        ASSERT_TRUE(e2e::FileExists(browser_)) << browser_;
    }
    // The stand-in as the handler of scheme (or of a ProgId).
    void RegisterStandIn(const std::string& classKey) {
        ASSERT_EQ(SetString(HKEY_CLASSES_ROOT, classKey + "\\shell\\open\\command", nullptr,
                            "\"" + browser_ + "\" --log \"" + log_ + "\" \"%1\""),
                  ERROR_SUCCESS);
    }
    // The stand-in's log once it holds a line with the URL, waited for up to
    // 20 s: the handler runs on its own after OpenUrl returned.
    std::string WaitForLog(const std::string& url) {
        std::string text;
        for (int i = 0; i < 400; ++i) {
            text = e2e::ReadFileText(log_);
            if (text.find("url=" + url + "\r\n") != std::string::npos) break;
            Sleep(50);
        }
        return text;
    }
    e2e::ScratchDir scratch_;
    std::string log_, browser_;
};

// ---- the handler's command

// Each row: the command registered for a scheme (null: none), and the format
// chosen for it; an empty format is the command interpreter's start.
TEST_F(Browser, HandlerCommandsFromTheRegistry) {
    UrlCommand c;
    EXPECT_EQ(ChooseUrlCommand("no-scheme-here", &c), kNoScheme);
    EXPECT_EQ(ChooseUrlCommand(":x", &c), kNoScheme);
    const struct {
        const char* scheme;
        const char* command;
        const char* format;
        bool asProgramUser;
    } rows[] = {
        {"holvnone", nullptr, "", false},
        {"holvquoted", "\"C:\\b\\b.exe\" -url \"%1\"", "\"C:\\b\\b.exe\" -url \"%s\"", false},
        {"holvtwo", "b.exe %1 %L", "", false},
        {"holvplain", "C:\\b\\plain.exe", "C:\\b\\plain.exe %s", false},
        {"holvempty", "", "", false},
        // Chrome is started as the program's own user.
        {"holvchrome", "\"C:\\Program Files\\Google\\Chrome\\Application\\chrome.exe\" -- \"%1\"",
         "\"C:\\Program Files\\Google\\Chrome\\Application\\chrome.exe\" -- \"%s\"", true},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.scheme);
        const std::string key = std::string(r.scheme) + "\\shell\\open\\command";
        if (r.command) {
            ASSERT_EQ(SetString(HKEY_CLASSES_ROOT, key, nullptr, r.command), 0);
        }
        ASSERT_EQ(ChooseUrlCommand((std::string(r.scheme) + "://x").c_str(), &c), 0);
        EXPECT_STREQ(c.format, *r.format ? r.format : "cmd /c start %s");
        EXPECT_EQ(c.fallback, !*r.format);
        EXPECT_EQ(c.asProgramUser, r.asProgramUser);
    }
}

TEST_F(Browser, TheUsersChoiceWinsOverTheSchemesClass) {
    ASSERT_EQ(SetString(HKEY_CLASSES_ROOT, "holvchoice\\shell\\open\\command", nullptr, "scheme.exe %1"), 0);
    ASSERT_EQ(SetString(HKEY_CLASSES_ROOT, "HolvChosenURL\\shell\\open\\command", nullptr, "chosen.exe %1"), 0);
    UrlCommand c;
    ASSERT_EQ(ChooseUrlCommand("holvchoice://x", &c), 0);
    EXPECT_STREQ(c.format, "scheme.exe %s");
    ASSERT_EQ(SetString(HKEY_CURRENT_USER, UserChoiceKey("holvchoice"), "Progid", "HolvChosenURL"), 0);
    ASSERT_EQ(ChooseUrlCommand("holvchoice://x", &c), 0);
    EXPECT_STREQ(c.format, "chosen.exe %s");
    // A ProgId without a command of its own: the fallback, not the scheme.
    ASSERT_EQ(SetString(HKEY_CURRENT_USER, UserChoiceKey("holvchoice"), "Progid", "HolvNothing"), 0);
    ASSERT_EQ(ChooseUrlCommand("holvchoice://x", &c), 0);
    EXPECT_TRUE(c.fallback);
    // An empty choice counts as none.
    ASSERT_EQ(SetString(HKEY_CURRENT_USER, UserChoiceKey("holvchoice"), "Progid", ""), 0);
    ASSERT_EQ(ChooseUrlCommand("holvchoice://x", &c), 0);
    EXPECT_STREQ(c.format, "scheme.exe %s");
}

// ---- starting the browser

TEST_F(Browser, OpenUrlStartsTheRegisteredBrowserWithTheUrl) {
    RegisterStandIn("holvstand");
    const std::string url = "holvstand://10.88.0.2/page?a=1&b=2";
    EXPECT_EQ(OpenUrl(url.c_str()), 0);
    std::string log = WaitForLog(url);
    EXPECT_NE(log.find("url=" + url + "\r\n"), std::string::npos) << log;
    // The quotes of the registered command are kept around the URL.
    EXPECT_NE(log.find("\"" + url + "\""), std::string::npos) << log;

    EXPECT_EQ(OpenUrl("holvstand-no-colon"), kNoScheme);
}

TEST_F(Browser, BrowseOpensTheApplianceAndNeedsAnAddress) {
    RegisterStandIn("https");
    ProxyWarningShown() = true;  // proxies are the next tests' subject

    auto backend = std::make_unique<test::FakeBackend>();
    test::FakeBackend* fake = backend.get();
    EXPECT_EQ(OpenApplianceGui(*fake), 1062);  // not loaded
    fake->state = StateStarting;
    EXPECT_EQ(OpenApplianceGui(*fake), 1228);  // no address, even after a poll
    EXPECT_EQ(fake->polls, 1);

    fake->state = StateRunning;
    fake->applianceIp = inet_addr(kApplianceIp);
    OpenApplianceGui(*fake);  // what the Browse command does
    std::string log = WaitForLog("https://10.88.0.2/");
    EXPECT_NE(log.find("url=https://10.88.0.2/\r\n"), std::string::npos) << log;
}

// ---- the proxy warning

// Answers the warning box of this process with the given button and keeps
// what it saw; stops looking when told to.
class BoxAnswerer {
public:
    explicit BoxAnswerer(int button) : thread_([this, button] { Run(button); }) {}
    ~BoxAnswerer() { Stop(); }
    void Stop() {
        stop_ = true;
        if (thread_.joinable()) thread_.join();
    }
    int seen() const { return seen_; }
    const std::string& text() const { return text_; }
    const std::vector<int>& buttons() const { return buttons_; }

private:
    void Run(int button) {
        while (!stop_) {
            HWND box = uiauto::FindMessageBox(kProxyWarningCaption, GetCurrentProcessId());
            if (!box) {
                Sleep(20);
                continue;
            }
            ++seen_;
            text_ = uiauto::MessageBoxText(box);
            buttons_.clear();
            for (const uiauto::Button& b : uiauto::ListButtons(box)) buttons_.push_back(b.id);
            uiauto::PressButton(box, button);
            uiauto::WaitWindowGone(box, 10000);
        }
    }
    std::atomic<bool> stop_{false};
    std::atomic<int> seen_{0};
    std::string text_;
    std::vector<int> buttons_;
    std::thread thread_;
};

class ProxyWarning : public Browser {
protected:
    void SetUp() override {
        Browser::SetUp();
        RegisterStandIn("https");
        ProxyWarningShown() = false;
        for (const char* v : {"AutoConfigURL", "ProxyEnable", "ProxyServer", "ProxyOverride"}) {
            UniqueKey k;
            if (RegOpenKeyExA(HKEY_CURRENT_USER, kInternetSettingsKey, 0, KEY_SET_VALUE, k.put()) == ERROR_SUCCESS)
                RegDeleteValueA(k.get(), v);
        }
        backend_.state = StateRunning;
        backend_.applianceIp = inet_addr(kApplianceIp);
    }
    // Opens the web interface while an answerer stands by; the call returns
    // only once any box it showed was answered.
    int Open(int button, int* boxes, std::string* text = nullptr, std::vector<int>* buttons = nullptr) {
        BoxAnswerer answerer(button);
        int rc = OpenApplianceGui(backend_);
        answerer.Stop();
        *boxes = answerer.seen();
        if (text) *text = answerer.text();
        if (buttons) *buttons = answerer.buttons();
        return rc;
    }
    std::string Override() { return GetString(HKEY_CURRENT_USER, kInternetSettingsKey, "ProxyOverride"); }
    test::FakeBackend backend_;
};

TEST_F(ProxyWarning, ManualProxyYesPutsTheExceptionFirstAndAsksOnce) {
    ASSERT_EQ(SetDword(HKEY_CURRENT_USER, kInternetSettingsKey, "ProxyEnable", 1), 0);
    ASSERT_EQ(SetString(HKEY_CURRENT_USER, kInternetSettingsKey, "ProxyServer", "proxy.example:8080"), 0);
    ASSERT_EQ(SetString(HKEY_CURRENT_USER, kInternetSettingsKey, "ProxyOverride", "<local>"), 0);
    int boxes = 0;
    std::string text;
    std::vector<int> buttons;
    EXPECT_EQ(Open(IDYES, &boxes, &text, &buttons), 0);
    EXPECT_EQ(boxes, 1);
    EXPECT_EQ(buttons, (std::vector<int>{IDYES, IDNO}));
    EXPECT_EQ(text,
              "Your browser is configured to use a proxy server.\nYou will probably not be able to view the "
              "Holvenstead GUI unless you disable the use of a proxy server or create an exception for "
              "'https://10.88.0.2'.\n\nDo you want this exception to be automatically created?\nNote: please close "
              "all browser windows before answering \"Yes\".");
    EXPECT_EQ(Override(), "https://10.88.0.2;<local>");
    EXPECT_NE(WaitForLog("https://10.88.0.2/").find("url=https://10.88.0.2/\r\n"), std::string::npos);

    // Once per run, whatever the settings say now.
    ASSERT_EQ(SetString(HKEY_CURRENT_USER, kInternetSettingsKey, "ProxyOverride", "<local>"), 0);
    EXPECT_EQ(Open(IDYES, &boxes), 0);
    EXPECT_EQ(boxes, 0);
    EXPECT_EQ(Override(), "<local>");
}

// Each row: the proxy settings (null: value absent), the answer, whether the
// box came, and the exception list afterwards.
TEST_F(ProxyWarning, WhenTheBoxComesAndWhatTheAnswerDoes) {
    const struct {
        DWORD enable;
        const char *server, *script, *list;
        int button;
        bool box;
        const char* after;
    } rows[] = {
        {1, "p:1", nullptr, nullptr, IDNO, true, "<none>"},                        // No leaves the exceptions
        {0, nullptr, "http://wpad/x", nullptr, IDYES, true, "https://10.88.0.2"},  // a script, even with the proxy off
        {1, nullptr, "http:/", nullptr, IDYES, false, "<none>"},  // no server; a script URL of only 7 bytes
        {1, "p:1", nullptr, "*.lan;https://10.88.0.2;<local>", IDYES, false, "*.lan;https://10.88.0.2;<local>"},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(testing::Message() << (r.server ? r.server : "-") << " " << (r.script ? r.script : "-"));
        SetUp();
        ASSERT_EQ(SetDword(HKEY_CURRENT_USER, kInternetSettingsKey, "ProxyEnable", r.enable), 0);
        if (r.server) {
            ASSERT_EQ(SetString(HKEY_CURRENT_USER, kInternetSettingsKey, "ProxyServer", r.server), 0);
        }
        if (r.script) {
            ASSERT_EQ(SetString(HKEY_CURRENT_USER, kInternetSettingsKey, "AutoConfigURL", r.script), 0);
        }
        if (r.list) {
            ASSERT_EQ(SetString(HKEY_CURRENT_USER, kInternetSettingsKey, "ProxyOverride", r.list), 0);
        }
        int boxes = 0;
        EXPECT_EQ(Open(r.button, &boxes), 0);
        EXPECT_EQ(boxes, r.box ? 1 : 0);
        EXPECT_EQ(Override(), r.after);
        EXPECT_EQ(ProxyWarningShown(), r.box) << "an answered box counts as shown";
        EXPECT_EQ(Open(IDYES, &boxes), 0);
        EXPECT_EQ(boxes, 0) << "asked again";
    }
}

// A list that cannot take the exception without being cut, or cannot be read
// whole, is left alone; the user is still warned, with OK only.
TEST_F(ProxyWarning, AListThatCannotTakeTheExceptionIsToldAndLeftAlone) {
    ASSERT_EQ(SetDword(HKEY_CURRENT_USER, kInternetSettingsKey, "ProxyEnable", 1), 0);
    ASSERT_EQ(SetString(HKEY_CURRENT_USER, kInternetSettingsKey, "ProxyServer", "p:1"), 0);
    const std::string exception = "https://10.88.0.2";
    const std::pair<std::string, bool> cases[] = {
        {std::string(2040, 'o'), true},                                            // no room left
        {std::string(2047, 'o'), true},                                            // all the room, read whole
        {std::string(3000, 'o'), true},                                            // more than the room
        {std::string(2047 - exception.size() - 1, 'o') + ";" + exception, false},  // read whole: in place
    };
    for (const auto& [list, warned] : cases) {
        SCOPED_TRACE(list.size());
        ProxyWarningShown() = false;
        ASSERT_EQ(SetString(HKEY_CURRENT_USER, kInternetSettingsKey, "ProxyOverride", list), 0);
        int boxes = 0;
        std::string text;
        std::vector<int> buttons;
        EXPECT_EQ(Open(IDOK, &boxes, &text, &buttons), 0);
        EXPECT_EQ(boxes, warned ? 1 : 0);
        EXPECT_EQ(Override(), list);
        if (!warned) continue;
        EXPECT_EQ(buttons, (std::vector<int>{IDOK}));
        EXPECT_NE(text.find("create an exception for 'https://10.88.0.2'"), std::string::npos) << text;
        EXPECT_NE(text.find("cannot be created automatically"), std::string::npos) << text;
    }
}

}  // namespace
}  // namespace holv
