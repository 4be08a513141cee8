// holv-browser.exe: a browser that opens nothing. Registered as a URL
// handler with the command
//     "...\holv-browser.exe" --log "C:\...\calls.txt" "%1"
// it appends three lines per start to the log, "url=<last argument>",
// "args=<how many arguments besides --log and its file>" and "cmdline=<its
// whole command line>", then ends with 0. Without --log it ends with 2 and
// writes nothing.
#include <windows.h>
// After windows.h, which it builds on.
#include <shellapi.h>

#include <cstdio>
#include <string>

namespace {

std::string Narrow(const wchar_t* text) {
    int n = WideCharToMultiByte(CP_ACP, 0, text, -1, nullptr, 0, nullptr, nullptr);
    std::string out(n > 0 ? n - 1 : 0, '\0');
    if (n > 1) WideCharToMultiByte(CP_ACP, 0, text, -1, out.data(), n, nullptr, nullptr);
    return out;
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (!argv) return 2;
    std::string log, url;
    int urls = 0;
    for (int i = 1; i < argc; ++i) {
        std::string arg = Narrow(argv[i]);
        if (arg == "--log" && i + 1 < argc) {
            log = Narrow(argv[++i]);
            continue;
        }
        url = arg;
        ++urls;
    }
    LocalFree(argv);
    if (log.empty()) return 2;
    // Whole lines in one write each, so a reader never sees half a start.
    std::string lines = "url=" + url + "\r\nargs=" + std::to_string(urls) + "\r\ncmdline=" + GetCommandLineA() + "\r\n";
    FILE* f = std::fopen(log.c_str(), "ab");
    if (!f) return 1;
    std::fwrite(lines.data(), 1, lines.size(), f);
    std::fclose(f);
    return 0;
}
