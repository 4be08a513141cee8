// boxprobe: shows what the UI automation helper must handle, so the helper
// is proven on windows of known content before it meets the real program.
//   boxprobe box FLAGS CAPTION TEXT   one MessageBoxA (FLAGS: MB_* as a
//                                     number); exits with the button pressed.
//                                     "\n" in TEXT stands for a line break.
//   boxprobe windows CLASS TITLE      a hidden top-level window and a
//                                     message-only window, both of CLASS and
//                                     TITLE, kept until the OK box with the
//                                     caption "TITLE probe" is answered.
#include <windows.h>

#include <cstdlib>
#include <string>

#include "base/Unique.h"

namespace {

std::string Unescape(const char* s) {
    std::string out;
    for (; *s; ++s) {
        if (s[0] == '\\' && s[1] == 'n') {
            out += '\n';
            ++s;
        } else {
            out += *s;
        }
    }
    return out;
}

int ShowBox(const char* flags, const char* caption, const char* text) {
    UINT type = static_cast<UINT>(std::strtoul(flags, nullptr, 0));
    return MessageBoxA(nullptr, Unescape(text).c_str(), caption, type);
}

int KeepWindows(const char* cls, const char* title) {
    WNDCLASSA wc{};
    wc.lpfnWndProc = DefWindowProcA;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = cls;
    if (!RegisterClassA(&wc)) return 100;
    holv::UniqueWindow top(CreateWindowA(cls, title, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT, 100, 100,
                                         nullptr, nullptr, wc.hInstance, nullptr));
    holv::UniqueWindow hidden(
        CreateWindowA(cls, title, 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance, nullptr));
    if (!top || !hidden) return 101;
    std::string caption = std::string(title) + " probe";
    MessageBoxA(nullptr, "Probe windows are up.", caption.c_str(), MB_OK);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 5 && std::string(argv[1]) == "box") return ShowBox(argv[2], argv[3], argv[4]);
    if (argc == 4 && std::string(argv[1]) == "windows") return KeepWindows(argv[2], argv[3]);
    return 99;
}
