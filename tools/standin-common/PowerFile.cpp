#include "PowerFile.h"

#include <cstdlib>

#include "SmallFile.h"

namespace holv::standin {
namespace {

constexpr size_t kPowerTextSize = 64;

std::string PowerText(DWORD owner) {
    return "on pid=" + std::to_string(owner) + "\n";
}

std::string Trim(const std::string& s) {
    size_t b = s.find_first_not_of(" \t\r\n");
    if (b == std::string::npos) return {};
    return s.substr(b, s.find_last_not_of(" \t\r\n") - b + 1);
}

UniqueFile WritePowerFile(const std::string& path, DWORD owner, DWORD flags) {
    if (path.empty()) return {};
    UniqueFile file(CreateFileA(path.c_str(), GENERIC_WRITE | DELETE, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                                CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL | flags, nullptr));
    if (!file) return {};
    const std::string text = PowerText(owner);
    DWORD written = 0;
    if (!WriteFile(file.get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr) ||
        written != text.size())
        return {};
    // The simulator reads nothing but existence; tests read the owner.
    FlushFileBuffers(file.get());
    return file;
}

}  // namespace

std::string PowerFileFromEnvironment() {
    const char* env = std::getenv("HOLV_SIM_POWER_FILE");
    return env ? env : "";
}

std::string ReadVmxKey(const std::string& vmxPath, const char* key) {
    const std::string text = ReadSmallFile(vmxPath);
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        const std::string line = text.substr(start, end - start);
        start = end + 1;
        size_t eq = line.find('=');
        if (eq == std::string::npos || _stricmp(Trim(line.substr(0, eq)).c_str(), key) != 0) continue;
        std::string value = Trim(line.substr(eq + 1));
        if (value.size() >= 2 && value.front() == '"' && value.back() == '"') value = value.substr(1, value.size() - 2);
        return value;
    }
    return {};
}

std::string PowerFilePath(const std::string& vmxPath) {
    const std::string env = PowerFileFromEnvironment();
    return env.empty() ? ReadVmxKey(vmxPath, "simulator.powerFile") : env;
}

bool PowerOn(const std::string& path, DWORD owner) {
    return static_cast<bool>(WritePowerFile(path, owner, 0));
}

UniqueFile PowerOnWhileHeld(const std::string& path, DWORD owner) {
    return WritePowerFile(path, owner, FILE_FLAG_DELETE_ON_CLOSE);
}

bool PowerOff(const std::string& path, DWORD owner) {
    if (path.empty()) return false;
    if (ReadSmallFile(path, kPowerTextSize) != PowerText(owner)) return false;
    return DeleteFileA(path.c_str()) != 0;
}

}  // namespace holv::standin
