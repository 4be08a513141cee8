// uiauto: the UI automation helper as a console program, for scripts and the
// demo. Exit codes are meant for scripts: see Usage().
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "UiAuto.h"
// After windows.h (from UiAuto.h), which they need.
#include <aclapi.h>
#include <sddl.h>

using namespace holv::uiauto;

namespace {

enum ExitCode {
    kOk = 0,
    kNotFound = 1,      // no such window within the time-out
    kUsage = 2,         // bad command line
    kNoSuchButton = 3,  // the box has no such button
    kStillOpen = 4,     // pressed, but the box did not close
};

// How long a pressed box may take to go away.
constexpr DWORD kCloseWaitMs = 10000;

int Usage() {
    std::fputs(
        "usage:\n"
        "  uiauto wait-box --caption C [--pid N] [--timeout MS]\n"
        "      waits for a message box and prints its text\n"
        "  uiauto buttons --caption C [--pid N] [--timeout MS]\n"
        "      prints the box's buttons: id, name, text, and 'default'\n"
        "  uiauto press --caption C (--button NAME|ID | --text TEXT) [--pid N] [--timeout MS]\n"
        "      presses a button (abort, retry, ignore, ok, yes, no, cancel, or a number;\n"
        "      or the button's text, with or without '&') and waits for the box to close\n"
        "  uiauto find-window --class C [--title T] [--pid N] [--message-only] [--timeout MS]\n"
        "      finds a top-level (or message-only) window and prints its handle, process and title\n"
        "  uiauto dacl --path P [--set SDDL]\n"
        "      prints a file's or folder's access list as SDDL; with --set, first puts\n"
        "      that one there (a \"P\" after \"D:\" protects it from inheritance)\n"
        "exit codes: 0 done, 1 window not found in time, 2 usage, 3 no such button,\n"
        "            4 the box stayed open after the press\n"
        "time-outs: 10000 ms for boxes, 0 (look once) for find-window\n",
        stderr);
    return kUsage;
}

struct Options {
    std::string command;
    const char* caption = nullptr;
    const char* className = nullptr;
    const char* title = nullptr;
    const char* button = nullptr;
    const char* text = nullptr;
    const char* path = nullptr;
    const char* set = nullptr;
    DWORD pid = 0;
    long timeout = -1;
    bool messageOnly = false;
};

bool ParseNumber(const char* s, long* out) {
    char* end = nullptr;
    long v = std::strtol(s, &end, 0);
    if (end == s || *end != '\0' || v < 0) return false;
    *out = v;
    return true;
}

bool Parse(int argc, char** argv, Options* o) {
    if (argc < 2) return false;
    o->command = argv[1];
    for (int i = 2; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--message-only") {
            o->messageOnly = true;
            continue;
        }
        if (i + 1 >= argc) return false;
        const char* v = argv[++i];
        long n = 0;
        if (a == "--caption") o->caption = v;
        else if (a == "--class") o->className = v;
        else if (a == "--title") o->title = v;
        else if (a == "--button") o->button = v;
        else if (a == "--text") o->text = v;
        else if (a == "--path") o->path = v;
        else if (a == "--set") o->set = v;
        else if (a == "--pid" && ParseNumber(v, &n)) o->pid = static_cast<DWORD>(n);
        else if (a == "--timeout" && ParseNumber(v, &n)) o->timeout = n;
        else return false;
    }
    return true;
}

DWORD Timeout(const Options& o, DWORD fallback) { return o.timeout >= 0 ? static_cast<DWORD>(o.timeout) : fallback; }

int WaitBox(const Options& o) {
    HWND box = WaitMessageBox(o.caption, o.pid, Timeout(o, 10000));
    if (!box) return kNotFound;
    std::printf("%s\n", MessageBoxText(box).c_str());
    return kOk;
}

int Buttons(const Options& o) {
    HWND box = WaitMessageBox(o.caption, o.pid, Timeout(o, 10000));
    if (!box) return kNotFound;
    for (const Button& b : ListButtons(box))
        std::printf("%d %s %s%s\n", b.id, ButtonName(b.id), b.text.c_str(), b.isDefault ? " default" : "");
    return kOk;
}

int Press(const Options& o) {
    if ((o.button != nullptr) == (o.text != nullptr)) return Usage();
    int id = o.button ? ButtonIdFromName(o.button) : 0;
    if (o.button && id == 0) return Usage();
    HWND box = WaitMessageBox(o.caption, o.pid, Timeout(o, 10000));
    if (!box) return kNotFound;
    if (o.text) id = FindButtonByText(box, o.text);
    if (id == 0 || !PressButton(box, id)) {
        std::fprintf(stderr, "uiauto: the box has no button %s\n", o.button ? o.button : o.text);
        return kNoSuchButton;
    }
    return WaitWindowGone(box, kCloseWaitMs) ? kOk : kStillOpen;
}

int FindWindowCommand(const Options& o) {
    WindowQuery q{o.className, o.title, o.pid};
    DWORD t = Timeout(o, 0);
    HWND w = o.messageOnly ? WaitMessageOnlyWindow(q, t) : WaitTopWindow(q, t);
    if (!w) return kNotFound;
    std::printf("%p %lu %s\n", static_cast<void*>(w), WindowProcessId(w), WindowTitle(w).c_str());
    return kOk;
}

// Reading back the access list as the system holds it, since Wine does not
// enforce it for root: the tests judge permissions by the descriptor alone.
int DaclCommand(const Options& o) {
    constexpr SECURITY_INFORMATION kDacl = DACL_SECURITY_INFORMATION;
    if (o.set) {
        PSECURITY_DESCRIPTOR wanted = nullptr;
        BOOL present = FALSE, defaulted = FALSE;
        PACL acl = nullptr;
        SECURITY_DESCRIPTOR_CONTROL control = 0;
        DWORD revision = 0;
        if (!ConvertStringSecurityDescriptorToSecurityDescriptorA(o.set, SDDL_REVISION_1, &wanted, nullptr))
            return Usage();
        GetSecurityDescriptorDacl(wanted, &present, &acl, &defaulted);
        GetSecurityDescriptorControl(wanted, &control, &revision);
        SECURITY_INFORMATION how =
            kDacl | ((control & SE_DACL_PROTECTED) ? PROTECTED_DACL_SECURITY_INFORMATION
                                                   : UNPROTECTED_DACL_SECURITY_INFORMATION);
        DWORD rc = SetNamedSecurityInfoA(const_cast<char*>(o.path), SE_FILE_OBJECT, how, nullptr, nullptr, acl, nullptr);
        LocalFree(wanted);
        if (rc != ERROR_SUCCESS) {
            std::fprintf(stderr, "uiauto: setting the access list of %s failed: %lu\n", o.path, rc);
            return kNotFound;
        }
    }
    PSECURITY_DESCRIPTOR held = nullptr;
    DWORD rc = GetNamedSecurityInfoA(o.path, SE_FILE_OBJECT, kDacl, nullptr, nullptr, nullptr, nullptr, &held);
    if (rc != ERROR_SUCCESS) {
        std::fprintf(stderr, "uiauto: reading the access list of %s failed: %lu\n", o.path, rc);
        return kNotFound;
    }
    char* text = nullptr;
    BOOL ok = ConvertSecurityDescriptorToStringSecurityDescriptorA(held, SDDL_REVISION_1, kDacl, &text, nullptr);
    LocalFree(held);
    if (!ok) return kNotFound;
    std::printf("%s\n", text);
    LocalFree(text);
    return kOk;
}

}  // namespace

int main(int argc, char** argv) {
    Options o;
    if (!Parse(argc, argv, &o)) return Usage();
    int rc = kUsage;
    if (o.command == "wait-box" && o.caption) rc = WaitBox(o);
    else if (o.command == "buttons" && o.caption) rc = Buttons(o);
    else if (o.command == "press" && o.caption) rc = Press(o);
    else if (o.command == "find-window" && o.className) rc = FindWindowCommand(o);
    else if (o.command == "dacl" && o.path) rc = DaclCommand(o);
    else return Usage();
    std::fflush(stdout);
    return rc;
}
