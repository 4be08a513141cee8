#include "e2e/E2eHarness.h"

#include <shlobj.h>

#include <cstdio>
#include <cstdlib>

namespace holv::e2e {

namespace {

std::string Parent(const std::string& path) {
    size_t cut = path.find_last_of('\\');
    return cut == std::string::npos ? std::string() : path.substr(0, cut);
}

bool MakeDirs(const std::string& path) {
    int rc = SHCreateDirectoryExA(nullptr, path.c_str(), nullptr);
    return rc == ERROR_SUCCESS || rc == ERROR_ALREADY_EXISTS;
}

bool RemoveTreeOnce(const std::string& path) {
    WIN32_FIND_DATAA fd;
    UniqueFile find(FindFirstFileA((path + "\\*").c_str(), &fd));
    if (find) {
        do {
            std::string name = fd.cFileName, full = path + "\\" + name;
            if (name == "." || name == "..") continue;
            SetFileAttributesA(full.c_str(), FILE_ATTRIBUTE_NORMAL);
            if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                RemoveTreeOnce(full);
            else
                DeleteFileA(full.c_str());
        } while (FindNextFileA(find.get(), &fd));
    }
    find.reset();
    RemoveDirectoryA(path.c_str());
    return GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES;
}

bool WriteFileText(const std::string& path, const std::string& text) {
    UniqueFile file(CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD wrote = 0;
    return file && WriteFile(file.get(), text.data(), static_cast<DWORD>(text.size()), &wrote, nullptr) &&
           wrote == text.size();
}

// A host path ("/a/b") as Wine shows it ("Z:\a\b"); others unchanged.
std::string ToWindowsPath(const std::string& path) {
    if (path.empty() || path[0] != '/') return path;
    std::string out = "Z:" + path;
    for (char& c : out)
        if (c == '/') c = '\\';
    return out;
}
}  // namespace

std::string ProgramPath(const char* name) {
    const char* bin = std::getenv("HOLV_BIN");
    return bin && *bin ? ToWindowsPath(bin) + "\\" + name : std::string(name);
}

bool FileExists(const std::string& path) {
    DWORD a = GetFileAttributesA(path.c_str());
    return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}

bool InThrowawayPrefix() {
    const char* v = std::getenv("HOLV_FRESH_PREFIX");
    return v && std::string(v) == "1";
}

ScratchDir::ScratchDir() {
    char temp[MAX_PATH + 1];
    DWORD n = GetTempPathA(sizeof temp, temp);
    if (n == 0 || n >= sizeof temp) return;
    static unsigned counter = 0;
    for (int attempt = 0; attempt < 100 && path_.empty(); ++attempt) {
        char name[96];
        std::snprintf(name, sizeof name, "holv-e2e-%lu-%u", GetCurrentProcessId(), ++counter);
        std::string candidate = std::string(temp, n) + name;
        if (CreateDirectoryA(candidate.c_str(), nullptr)) path_ = candidate;
    }
}

ScratchDir::~ScratchDir() {
    // A program just killed may hold its folder a moment longer.
    for (int i = 0; ok() && i < 40 && !RemoveTreeOnce(path_); ++i) Sleep(100);
}

std::string ScratchDir::Write(const std::string& relative, const std::string& content) const {
    std::string full = Join(relative);
    return MakeDirs(Parent(full)) && WriteFileText(full, content) ? full : std::string();
}

std::string ReadFileText(const std::string& path) {
    UniqueFile file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    std::string text;
    char buf[65536];
    DWORD got = 0;
    while (file && ReadFile(file.get(), buf, sizeof buf, &got, nullptr) && got > 0) text.append(buf, got);
    return text;
}

std::string ValidVmx() {
    return "config.version = \"8\"\nvirtualHW.version = \"7\"\ndisplayName = \"Holvenstead\"\n";
}

}  // namespace holv::e2e
