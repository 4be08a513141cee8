#include "imc/ImcNetBed.h"

#include <cstdlib>
#include <cstring>
#include <fstream>

namespace holv::test {
namespace {

// The work folder is a Unix path; Wine shows the root as drive Z:.
std::string WindowsPath(const char* unixPath) {
    std::string path = "Z:";
    for (const char* p = unixPath; *p; ++p) path += *p == '/' ? '\\' : *p;
    return path;
}

bool ParseAddress(const char* text, uint32_t& out) {
    return text && (out = inet_addr(text)) != INADDR_NONE;
}

bool WriteWhole(const std::string& path, const std::string& text) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    bool ok = std::fwrite(text.data(), 1, text.size(), f) == text.size();
    return std::fclose(f) == 0 && ok;
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
    return Exists(Path("pid"));  // the bed waited for it before starting the test
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

ImcNetBed& Bed() {
    static ImcNetBed bed;
    return bed;
}

std::string Joined(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines) text += "    " + line + "\n";
    return text;
}

}  // namespace holv::test
