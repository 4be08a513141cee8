// Opening the appliance's web interface under Wine, with the stand-in browser
// (tools/browser-standin) registered as the handler, and the proxy warning
// answered through tools/uiauto. Changes URL handlers and Internet Settings:
// runs only in a throwaway prefix (holv_e2e_test). (The appliance's own URLs
// reaching the browser as one argument: e2e_security.)
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
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

LONG SetValue(HKEY root, const std::string& key, const char* name, DWORD type, const void* data, DWORD size) {
    UniqueKey k;
    LONG rc = RegCreateKeyExA(root, key.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, k.put(), nullptr);
    return rc != ERROR_SUCCESS ? rc : RegSetValueExA(k.get(), name, 0, type, static_cast<const BYTE*>(data), size);
}

// A null value is left absent.
LONG SetString(HKEY root, const std::string& key, const char* name, const char* value) {
    return value ? SetValue(root, key, name, REG_SZ, value, static_cast<DWORD>(std::strlen(value) + 1)) : 0;
}

std::string GetString(HKEY root, const std::string& key, const char* name) {
    char text[4096];
    DWORD size = sizeof text;
    if (RegGetValueA(root, key.c_str(), name, RRF_RT_REG_SZ, nullptr, text, &size) != ERROR_SUCCESS) return "<none>";
    return text;
}

class Browser : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(e2e::InThrowawayPrefix()) << "changes URL handlers: run through scripts/wine-fresh.sh";
        ASSERT_TRUE(scratch_.ok());
        log_ = scratch_.Join("calls.txt");
        const std::string browser = e2e::ProgramPath("holv-browser.exe");
        ASSERT_TRUE(e2e::FileExists(browser)) << browser;
        // The stand-in as the handler of https.
        ASSERT_EQ(SetString(HKEY_CLASSES_ROOT, "https\\shell\\open\\command", nullptr,
                            ("\"" + browser + "\" --log \"" + log_ + "\" \"%1\"").c_str()),
                  ERROR_SUCCESS);
    }
    // True once the stand-in's log holds a line with the URL, waited for up
    // to 20 s: the handler runs on its own after OpenUrl returned.
    bool BrowserGot(const std::string& url) {
        for (int i = 0; i < 400; ++i, Sleep(50))
            if (e2e::ReadFileText(log_).find("url=" + url + "\r\n") != std::string::npos) return true;
        return false;
    }
    e2e::ScratchDir scratch_;
    std::string log_;
};

// Each row: the user's choice of ProgId for a scheme whose class has
// "scheme.exe %1" (null: no choice), and the format then used; a ProgId
// without a usable command gives the command interpreter's start, an empty
// choice counts as none, and a registered Chrome is started as the
// program's own user.
TEST_F(Browser, TheUsersChoiceWinsOverTheSchemesClass) {
    UrlCommand c;
    EXPECT_EQ(ChooseUrlCommand("no-scheme-here", &c), kNoScheme);
    EXPECT_EQ(ChooseUrlCommand(":x", &c), kNoScheme);
    const char* chrome = "\"C:\\Program Files\\Google\\Chrome\\Application\\chrome.exe\" -- \"%1\"";
    for (const auto& [progId, command] : {std::pair{"holvchoice", "scheme.exe %1"},
                                          {"HolvChosenURL", "chosen.exe %1"},
                                          {"HolvTwo", "b.exe %1 %L"},
                                          {"HolvChrome", chrome}})
        ASSERT_EQ(SetString(HKEY_CLASSES_ROOT, std::string(progId) + "\\shell\\open\\command", nullptr, command), 0);
    const std::string choice =
        "Software\\Microsoft\\Windows\\Shell\\Associations\\UrlAssociations\\holvchoice\\UserChoice";
    const struct {
        const char *progId, *format;
        bool asProgramUser;
    } rows[] = {
        {nullptr, "scheme.exe %s", false},
        {"HolvChosenURL", "chosen.exe %s", false},
        {"HolvNothing", "cmd /c start %s", false},
        {"HolvTwo", "cmd /c start %s", false},
        {"HolvChrome", "\"C:\\Program Files\\Google\\Chrome\\Application\\chrome.exe\" -- \"%s\"", true},
        {"", "scheme.exe %s", false},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.progId ? r.progId : "no choice");
        ASSERT_EQ(SetString(HKEY_CURRENT_USER, choice, "Progid", r.progId), 0);
        ASSERT_EQ(ChooseUrlCommand("holvchoice://x", &c), 0);
        EXPECT_STREQ(c.format, r.format);
        EXPECT_EQ(c.fallback, std::string(r.format) == "cmd /c start %s");
        EXPECT_EQ(c.asProgramUser, r.asProgramUser);
    }
    ASSERT_EQ(ChooseUrlCommand("holvnone://x", &c), 0);
    EXPECT_TRUE(c.fallback) << "a scheme without a class";
}

TEST_F(Browser, BrowseOpensTheApplianceAndNeedsAnAddress) {
    ProxyWarningShown() = true;  // proxies are the next test's subject
    test::FakeBackend fake;
    EXPECT_EQ(OpenApplianceGui(fake), 1062);  // not loaded
    fake.state = StateStarting;
    EXPECT_EQ(OpenApplianceGui(fake), 1228);  // no address, even after a poll
    EXPECT_EQ(fake.polls, 1);
    fake.state = StateRunning;
    fake.applianceIp = inet_addr(kApplianceIp);
    OpenApplianceGui(fake);  // what the Browse command does
    EXPECT_TRUE(BrowserGot("https://10.88.0.2/"));
}

// Answers the warning box of this process with the given button and keeps
// what it saw, until stopped.
struct BoxAnswerer {
    explicit BoxAnswerer(int button)
        : thread([this, button] {
              for (; !stop; Sleep(20)) {
                  HWND box = uiauto::FindMessageBox(kProxyWarningCaption, GetCurrentProcessId());
                  if (!box) continue;
                  ++seen;
                  text = uiauto::MessageBoxText(box);
                  buttons.clear();
                  for (const uiauto::Button& b : uiauto::ListButtons(box)) buttons.push_back(b.id);
                  uiauto::PressButton(box, button);
                  uiauto::WaitWindowGone(box, 10000);
              }
          }) {}
    ~BoxAnswerer() { Stop(); }
    void Stop() {
        stop = true;
        if (thread.joinable()) thread.join();
    }
    std::atomic<bool> stop{false};
    std::atomic<int> seen{0};
    std::string text;
    std::vector<int> buttons;
    std::thread thread;  // last: it starts once the rest is made
};

// Each row: the proxy settings (null: value absent), the answer, the box
// that came (none, Yes/No, or OK only: the list cannot take the exception
// without being cut, or cannot be read whole), and the exception list
// afterwards. The box comes once per run, whatever the answer.
TEST_F(Browser, ProxyWarningWhenTheBoxComesAndWhatTheAnswerDoes) {
    enum Box { None, YesNo, OkOnly };
    const std::string o2040(2040, 'o'), o2047(2047, 'o'), o3000(3000, 'o');
    const std::string fits = std::string(2047 - 18, 'o') + ";https://10.88.0.2";
    const struct {
        DWORD enable;
        const char *server, *script, *list;
        int button;
        Box box;
        const char* after;
    } rows[] = {
        {1, "proxy.example:8080", nullptr, "<local>", IDYES, YesNo, "https://10.88.0.2;<local>"},
        {1, "p:1", nullptr, nullptr, IDNO, YesNo, "<none>"},                        // No leaves the exceptions
        {0, nullptr, "http://wpad/x", nullptr, IDYES, YesNo, "https://10.88.0.2"},  // a script, even with the proxy off
        {1, nullptr, "http:/", nullptr, IDYES, None, "<none>"},  // no server; a script URL of only 7 bytes
        {1, "p:1", nullptr, "*.lan;https://10.88.0.2;<local>", IDYES, None, "*.lan;https://10.88.0.2;<local>"},
        {1, "p:1", nullptr, o2040.c_str(), IDOK, OkOnly, o2040.c_str()},  // no room left
        {1, "p:1", nullptr, o2047.c_str(), IDOK, OkOnly, o2047.c_str()},  // all the room, read whole
        {1, "p:1", nullptr, o3000.c_str(), IDOK, OkOnly, o3000.c_str()},  // more than the room
        {1, "p:1", nullptr, fits.c_str(), IDOK, None, fits.c_str()},      // read whole: in place
    };
    test::FakeBackend backend;
    backend.state = StateRunning;
    backend.applianceIp = inet_addr(kApplianceIp);
    const std::string settings = kInternetSettingsKey;
    for (const auto& r : rows) {
        SCOPED_TRACE(testing::Message() << (r.server ? r.server : "-") << " " << (r.script ? r.script : "-") << " "
                                        << (r.list ? std::strlen(r.list) : 0));
        for (const char* v : {"AutoConfigURL", "ProxyEnable", "ProxyServer", "ProxyOverride"})
            RegDeleteKeyValueA(HKEY_CURRENT_USER, kInternetSettingsKey, v);
        ProxyWarningShown() = false;
        ASSERT_EQ(SetValue(HKEY_CURRENT_USER, settings, "ProxyEnable", REG_DWORD, &r.enable, sizeof r.enable), 0);
        ASSERT_EQ(SetString(HKEY_CURRENT_USER, settings, "ProxyServer", r.server), 0);
        ASSERT_EQ(SetString(HKEY_CURRENT_USER, settings, "AutoConfigURL", r.script), 0);
        ASSERT_EQ(SetString(HKEY_CURRENT_USER, settings, "ProxyOverride", r.list), 0);
        for (int attempt = 0; attempt < 2; ++attempt) {
            // The call returns only once any box it showed was answered.
            BoxAnswerer answerer(r.button);
            EXPECT_EQ(OpenApplianceGui(backend), 0);
            answerer.Stop();
            EXPECT_EQ(answerer.seen, attempt == 0 && r.box != None ? 1 : 0) << "attempt " << attempt;
            if (attempt > 0 || r.box == None) continue;
            EXPECT_EQ(answerer.buttons, (r.box == YesNo ? std::vector<int>{IDYES, IDNO} : std::vector<int>{IDOK}));
            EXPECT_NE(answerer.text.find("create an exception for 'https://10.88.0.2'"), std::string::npos);
            EXPECT_EQ(answerer.text.find("cannot be created automatically") != std::string::npos, r.box == OkOnly);
        }
        EXPECT_EQ(GetString(HKEY_CURRENT_USER, settings, "ProxyOverride"), r.after);
        EXPECT_EQ(ProxyWarningShown(), r.box != None) << "an answered box counts as shown";
    }
    EXPECT_TRUE(BrowserGot("https://10.88.0.2/"));
}

}  // namespace
}  // namespace holv
