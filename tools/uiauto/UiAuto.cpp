#include "UiAuto.h"

#include <cctype>
#include <cstdlib>
#include <cstring>

namespace holv::uiauto {

namespace {

// How often the waits look again: short enough that a test does not idle,
// long enough not to load the window server.
constexpr DWORD kPollMs = 50;
// A control of another process answers WM_GETTEXT through its own message
// loop; a hung owner must not hang the caller.
constexpr UINT kSendTimeoutMs = 5000;

bool Matches(HWND w, const WindowQuery& q) {
    if (q.processId != 0 && WindowProcessId(w) != q.processId) return false;
    if (q.className && WindowClass(w) != q.className) return false;
    if (q.title && WindowTitle(w) != q.title) return false;
    return true;
}

struct EnumContext {
    const WindowQuery* query;
    bool visibleOnly;
    HWND found;
};

BOOL CALLBACK FindTopProc(HWND w, LPARAM lp) {
    auto* ctx = reinterpret_cast<EnumContext*>(lp);
    if (ctx->visibleOnly && !IsWindowVisible(w)) return TRUE;
    if (!Matches(w, *ctx->query)) return TRUE;
    ctx->found = w;
    return FALSE;
}

HWND FindTop(const WindowQuery& q, bool visibleOnly) {
    EnumContext ctx{&q, visibleOnly, nullptr};
    EnumWindows(FindTopProc, reinterpret_cast<LPARAM>(&ctx));
    return ctx.found;
}

template <typename F>
HWND WaitFor(DWORD timeoutMs, F find) {
    DWORD start = GetTickCount();
    for (;;) {
        if (HWND w = find()) return w;
        if (GetTickCount() - start >= timeoutMs) return nullptr;
        Sleep(kPollMs);
    }
}

LONG Style(HWND w) { return GetWindowLongA(w, GWL_STYLE); }

// Text of a control that may belong to another process: asked for through
// the control's own message loop, which works across processes.
std::string ControlText(HWND w) {
    DWORD_PTR len = 0;
    if (!SendMessageTimeoutA(w, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, kSendTimeoutMs, &len))
        return WindowTitle(w);
    std::string text(len + 1, '\0');
    DWORD_PTR got = 0;
    if (!SendMessageTimeoutA(w, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()),
                             SMTO_ABORTIFHUNG, kSendTimeoutMs, &got))
        return WindowTitle(w);
    text.resize(got < text.size() ? got : text.size() - 1);
    return text;
}

struct ChildList {
    std::vector<HWND> children;
};

BOOL CALLBACK CollectChild(HWND w, LPARAM lp) {
    reinterpret_cast<ChildList*>(lp)->children.push_back(w);
    return TRUE;
}

// Direct children only: a message box has no nested controls, and a nested
// one would not be the box's own.
std::vector<HWND> Children(HWND parent) {
    ChildList list;
    EnumChildWindows(parent, CollectChild, reinterpret_cast<LPARAM>(&list));
    std::vector<HWND> direct;
    for (HWND w : list.children)
        if (GetParent(w) == parent) direct.push_back(w);
    return direct;
}

bool IsClass(HWND w, const char* cls) { return lstrcmpiA(WindowClass(w).c_str(), cls) == 0; }

bool IsPushButton(HWND w) {
    if (!IsClass(w, "Button")) return false;
    LONG type = Style(w) & BS_TYPEMASK;
    return type == BS_PUSHBUTTON || type == BS_DEFPUSHBUTTON;
}

// Button text as a user reads it: mnemonic marks dropped ("&&" is a literal
// '&'), letters compared without case.
std::string Plain(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '&') {
            if (i + 1 < text.size() && text[i + 1] == '&') out += '&', ++i;
            continue;
        }
        out += static_cast<char>(std::tolower(static_cast<unsigned char>(text[i])));
    }
    return out;
}

struct NamedButton {
    int id;
    const char* name;
};
constexpr NamedButton kButtons[] = {
    {IDOK, "ok"},         {IDCANCEL, "cancel"}, {IDABORT, "abort"},       {IDRETRY, "retry"},
    {IDIGNORE, "ignore"}, {IDYES, "yes"},       {IDNO, "no"},             {IDCLOSE, "close"},
    {IDHELP, "help"},     {IDTRYAGAIN, "tryagain"}, {IDCONTINUE, "continue"},
};

}  // namespace

std::string WindowTitle(HWND w) {
    int len = GetWindowTextLengthA(w);
    if (len <= 0) return {};
    std::string text(static_cast<size_t>(len) + 1, '\0');
    int got = GetWindowTextA(w, text.data(), len + 1);
    text.resize(got > 0 ? static_cast<size_t>(got) : 0);
    return text;
}

std::string WindowClass(HWND w) {
    char name[257] = {};
    int got = GetClassNameA(w, name, sizeof name);
    return got > 0 ? std::string(name, static_cast<size_t>(got)) : std::string();
}

DWORD WindowProcessId(HWND w) {
    DWORD pid = 0;
    GetWindowThreadProcessId(w, &pid);
    return pid;
}

HWND FindTopWindow(const WindowQuery& query) { return FindTop(query, false); }

HWND WaitTopWindow(const WindowQuery& query, DWORD timeoutMs) {
    return WaitFor(timeoutMs, [&] { return FindTopWindow(query); });
}

HWND FindMessageOnlyWindow(const WindowQuery& query) {
    // FindWindowEx walks the message-only parent's children; the process is
    // then checked per candidate.
    HWND after = nullptr;
    while ((after = FindWindowExA(HWND_MESSAGE, after, query.className, query.title)) != nullptr) {
        if (query.processId == 0 || WindowProcessId(after) == query.processId) return after;
    }
    return nullptr;
}

HWND WaitMessageOnlyWindow(const WindowQuery& query, DWORD timeoutMs) {
    return WaitFor(timeoutMs, [&] { return FindMessageOnlyWindow(query); });
}

HWND FindMessageBox(const char* caption, DWORD processId) {
    WindowQuery q{kMessageBoxClass, caption, processId};
    return FindTop(q, true);
}

HWND WaitMessageBox(const char* caption, DWORD processId, DWORD timeoutMs) {
    return WaitFor(timeoutMs, [&] { return FindMessageBox(caption, processId); });
}

HWND FindAnyMessageBox(DWORD processId) {
    WindowQuery q{kMessageBoxClass, nullptr, processId};
    return FindTop(q, true);
}

bool WaitWindowGone(HWND window, DWORD timeoutMs) {
    DWORD start = GetTickCount();
    while (IsWindow(window)) {
        if (GetTickCount() - start >= timeoutMs) return false;
        Sleep(kPollMs);
    }
    return true;
}

std::string MessageBoxText(HWND box) {
    // The system's message box keeps its text in the static control 0xFFFF;
    // other dialogs that look like boxes only have "the first static text".
    if (HWND text = GetDlgItem(box, 0xFFFF); text && IsClass(text, "Static")) return ControlText(text);
    for (HWND w : Children(box)) {
        if (!IsClass(w, "Static") || (Style(w) & SS_TYPEMASK) == SS_ICON) continue;
        std::string t = ControlText(w);
        if (!t.empty()) return t;
    }
    return {};
}

bool MessageBoxHasIcon(HWND box) {
    // A box without icon may still keep the empty icon control; the control's
    // icon handle tells. It is only compared with null: icon handles are not
    // comparable across processes.
    for (HWND w : Children(box)) {
        if (!IsClass(w, "Static") || (Style(w) & SS_TYPEMASK) != SS_ICON || !(Style(w) & WS_VISIBLE)) continue;
        DWORD_PTR icon = 0;
        if (SendMessageTimeoutA(w, STM_GETICON, 0, 0, SMTO_ABORTIFHUNG, kSendTimeoutMs, &icon) && icon) return true;
    }
    return false;
}

std::vector<Button> ListButtons(HWND box) {
    std::vector<Button> out;
    for (HWND w : Children(box)) {
        if (!IsPushButton(w) || !(Style(w) & WS_VISIBLE)) continue;
        bool def = (Style(w) & BS_TYPEMASK) == BS_DEFPUSHBUTTON;
        out.push_back(Button{GetDlgCtrlID(w), ControlText(w), def});
    }
    return out;
}

int ButtonIdFromName(const char* name) {
    if (!name || !*name) return 0;
    if (std::isdigit(static_cast<unsigned char>(*name))) {
        char* end = nullptr;
        long v = std::strtol(name, &end, 0);
        return (*end == '\0' && v > 0 && v < 0x10000) ? static_cast<int>(v) : 0;
    }
    // "IDABORT" as the SDK spells it, or the bare word.
    const char* bare = (_strnicmp(name, "ID", 2) == 0) ? name + 2 : name;
    for (const auto& b : kButtons)
        if (lstrcmpiA(bare, b.name) == 0) return b.id;
    return 0;
}

const char* ButtonName(int id) {
    for (const auto& b : kButtons)
        if (b.id == id) return b.name;
    return "?";
}

int FindButtonByText(HWND box, const char* text) {
    std::string want = Plain(text ? text : "");
    for (const Button& b : ListButtons(box))
        if (Plain(b.text) == want) return b.id;
    return 0;
}

bool PressButton(HWND box, int id) {
    HWND button = GetDlgItem(box, id);
    if (!button || !IsPushButton(button) || !(Style(button) & WS_VISIBLE)) return false;
    // Posted, not sent: the box's owner may be busy, and a click is a
    // notification the dialog handles in its own loop anyway.
    return PostMessageA(box, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(button)) != 0;
}

bool PressButtonByText(HWND box, const char* text) {
    int id = FindButtonByText(box, text);
    return id != 0 && PressButton(box, id);
}

// ---- dialog controls -------------------------------------------------------

int CheckState(HWND dialog, int id) {
    HWND control = GetDlgItem(dialog, id);
    if (!control) return -1;
    DWORD_PTR state = 0;
    if (!SendMessageTimeoutA(control, BM_GETCHECK, 0, 0, SMTO_ABORTIFHUNG, kSendTimeoutMs, &state)) return -1;
    return static_cast<int>(state);
}

bool ClickControl(HWND dialog, int id) {
    HWND control = GetDlgItem(dialog, id);
    if (!control || !(Style(control) & WS_VISIBLE) || !IsWindowEnabled(control)) return false;
    // Sent, so that the control's state can be read right afterwards.
    DWORD_PTR ignored = 0;
    return SendMessageTimeoutA(control, BM_CLICK, 0, 0, SMTO_ABORTIFHUNG, kSendTimeoutMs, &ignored) != 0;
}

std::string ControlText(HWND dialog, int id) {
    HWND control = GetDlgItem(dialog, id);
    return control ? ControlText(control) : std::string();
}

bool ControlEnabled(HWND dialog, int id) {
    HWND control = GetDlgItem(dialog, id);
    return control && IsWindowEnabled(control);
}

bool PressKey(HWND window, UINT virtualKey) {
    UINT scan = MapVirtualKeyA(virtualKey, 0 /* MAPVK_VK_TO_VSC */);
    LPARAM down = 1 | (static_cast<LPARAM>(scan) << 16);
    LPARAM up = down | (1L << 30) | (1L << 31);
    return PostMessageA(window, WM_KEYDOWN, virtualKey, down) && PostMessageA(window, WM_KEYUP, virtualKey, up);
}

}  // namespace holv::uiauto
