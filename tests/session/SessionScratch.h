// A scratch folder per test, removed with everything in it afterwards, and
// byte-exact file helpers. Windows-free: used by the native and the Wine run.
#pragma once
#include <chrono>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

namespace holv::test {

class ScratchDir {
public:
    ScratchDir() { std::filesystem::create_directories(path_); }
    ~ScratchDir() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    std::string File(const std::string& name) const { return (path_ / name).string(); }
    const std::filesystem::path& Path() const { return path_; }

private:
    std::filesystem::path path_ =
        std::filesystem::temp_directory_path() /
        ("holv-session-" + std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()) + "-" +
         std::to_string(std::random_device()()));
};

inline void WriteBytes(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

// Bounded: a broken rewrite could leave a link to an endless device.
inline std::string ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return "<missing>";
    std::string bytes;
    char chunk[4096];
    while (bytes.size() < (16u << 20) && in.read(chunk, sizeof chunk).gcount() > 0) bytes.append(chunk, in.gcount());
    return bytes;
}

// The file's text with CR LF folded to "\n": Windows writes it in text mode.
inline std::string ReadText(const std::string& path) {
    std::string text = ReadBytes(path);
#ifdef _WIN32
    for (size_t at = 0; (at = text.find("\r\n", at)) != std::string::npos; ++at) text.erase(at, 1);
#endif
    return text;
}

inline bool Exists(const std::string& path) {
    std::error_code ignored;
    return std::filesystem::exists(path, ignored);
}

}  // namespace holv::test
