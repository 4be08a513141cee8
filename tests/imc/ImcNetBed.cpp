#include "imc/ImcNetBed.h"

#include <cstdlib>
#include <cstring>
#include <fstream>

#include "imc/ImcLog.h"

namespace holv::test {
namespace {

// The work folder is a Unix path; Wine shows the root as drive Z:.
std::string WindowsPath(const char* unixPath) {
    std::string path = "Z:";
    for (const char* p = unixPath; *p; ++p) path += *p == '/' ? '\\' : *p;
    return path;
}

bool ParseAddress(const char* text, uint32_t& out) {
    if (!text || !*text) return false;
    out = inet_addr(text);
    return out != INADDR_NONE;
}

bool WriteWhole(const std::string& path, const std::string& text) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    bool ok = std::fwrite(text.data(), 1, text.size(), f) == text.size();
    return std::fclose(f) == 0 && ok;
}

std::vector<std::string> ReadLines(const std::string& path) {
    std::vector<std::string> lines;
    std::ifstream in(path, std::ios::binary);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

bool Exists(const std::string& path) {
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

}  // namespace

bool ImcNetBed::Load(std::string& problem) {
    const char* work = std::getenv("HOLV_IMC_NET_WORK");
    if (!work || !*work) {
        problem = "HOLV_IMC_NET_WORK is not set: run this program through tests/imc/imc-net-test.sh";
        return false;
    }
    work_ = WindowsPath(work);
    const char* appliance = std::getenv("HOLV_APPLIANCE_IP");
    if (!ParseAddress(appliance, appliance_) || !ParseAddress(std::getenv("HOLV_HOST_IP"), host_)) {
        problem = "HOLV_APPLIANCE_IP / HOLV_HOST_IP missing: run inside scripts/netns.sh";
        return false;
    }
    applianceText_ = appliance;
    return true;
}

bool ImcNetBed::WaitForSimulator() {
    for (int i = 0; i < 200; ++i) {
        if (Exists(Path("pid"))) return true;
        Sleep(100);
    }
    return false;
}

bool ImcNetBed::Configure(const std::string& extra) {
    std::string text = "mac=00:0c:29:5a:5a:02\nshutdown-powers-off=0\n" + extra;
    if (!text.empty() && text.back() != '\n') text += '\n';
    // Whole file, then a rename over the old one: the simulator never reads
    // half a configuration.
    std::string fresh = Path("config.new");
    return WriteWhole(fresh, text) && MoveFileExA(fresh.c_str(), Path("config").c_str(), MOVEFILE_REPLACE_EXISTING);
}

bool ImcNetBed::PowerOn() {
    return WriteWhole(Path("power"), "");
}

bool ImcNetBed::PowerOff() {
    return DeleteFileA(Path("power").c_str()) || GetLastError() == ERROR_FILE_NOT_FOUND;
}

void ImcNetBed::ClearRecord() {
    DeleteFileA(Path("record").c_str());
}

std::vector<std::string> ImcNetBed::Record() const {
    return ReadLines(Path("record"));
}

std::vector<std::string> ImcNetBed::RecordWithAtLeast(size_t count) const {
    std::vector<std::string> lines = Record();
    for (int i = 0; i < 100 && lines.size() < count; ++i) {
        Sleep(50);
        lines = Record();
    }
    return lines;
}

bool ImcNetBed::Ask(const char* request) {
    return WriteWhole(Path(request), "");
}

bool ImcNetBed::Done(const char* request) const {
    return !Exists(Path(request));
}

ImcNetBed& Bed() {
    static ImcNetBed bed;
    return bed;
}

ImcLogFile::ImcLogFile(const std::string& path) : path_(path), file_(std::fopen(path.c_str(), "w")) {
    ImcSetLogStream(file_);
}

ImcLogFile::~ImcLogFile() {
    ImcSetLogStream(nullptr);
    if (file_) std::fclose(file_);
}

std::vector<std::string> ImcLogFile::Lines() const {
    // Every line starts with "HH:MM:SS.mmm ", 13 characters.
    std::vector<std::string> lines = ReadLines(path_);
    for (std::string& line : lines) line = line.size() >= 13 ? line.substr(13) : "(short line) " + line;
    return lines;
}

std::vector<std::string> Matching(const std::vector<std::string>& lines, const std::string& part) {
    std::vector<std::string> out;
    for (const std::string& line : lines)
        if (line.find(part) != std::string::npos) out.push_back(line);
    return out;
}

int Find(const std::vector<std::string>& lines, const std::string& part, int from) {
    for (size_t i = from < 0 ? 0 : static_cast<size_t>(from); i < lines.size(); ++i)
        if (lines[i].find(part) != std::string::npos) return static_cast<int>(i);
    return -1;
}

std::string Joined(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines) text += "    " + line + "\n";
    return text;
}

InputCounter::InputCounter() {
    static const char kClass[] = "HolvImcNetTestInput";
    WNDCLASSA wc{};
    wc.lpfnWndProc = Proc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = kClass;
    RegisterClassA(&wc);  // fails harmlessly when registered already
    window_ = CreateWindowExA(0, kClass, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance, nullptr);
    if (window_) SetWindowLongPtrA(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
}

InputCounter::~InputCounter() {
    if (window_) DestroyWindow(window_);
}

void InputCounter::Pump() {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
}

bool InputCounter::WaitForSocketNotice(DWORD ms) {
    DWORD start = GetTickCount();
    for (;;) {
        Pump();
        if (fromSocket > 0) return true;
        DWORD spent = GetTickCount() - start;
        if (spent >= ms) return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, ms - spent, QS_ALLINPUT);
    }
}

LRESULT CALLBACK InputCounter::Proc(HWND window, UINT message, WPARAM w, LPARAM l) {
    auto* self = reinterpret_cast<InputCounter*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    if (message == kInputMessage && self) {
        if (w == 0 && l == 0)
            ++self->posted;
        else if (WSAGETSELECTEVENT(l) == FD_READ)
            ++self->fromSocket;
        return 0;
    }
    return DefWindowProcA(window, message, w, l);
}

}  // namespace holv::test
