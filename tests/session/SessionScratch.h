// A scratch folder per test, removed with everything in it afterwards, and
// byte-exact file helpers. Windows-free: used by the native and the Wine run.
#pragma once
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <random>
#include <string>

namespace holv::test {

class ScratchDir {
public:
    ScratchDir() {
        std::random_device random;
        auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
        path_ = std::filesystem::temp_directory_path() /
                ("holv-session-" + std::to_string(stamp) + "-" + std::to_string(random()));
        std::filesystem::create_directories(path_);
    }
    ~ScratchDir() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    std::string File(const std::string& name) const { return (path_ / name).string(); }
    const std::filesystem::path& Path() const { return path_; }

private:
    std::filesystem::path path_;
};

inline void WriteBytes(const std::string& path, const std::string& bytes) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return;
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
}

inline std::string ReadBytes(const std::string& path) {
    std::string bytes;
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return "<missing>";
    char chunk[4096];
    size_t n;
    // Bounded: a broken rewrite could leave a link to an endless device.
    while (bytes.size() < (16u << 20) && (n = std::fread(chunk, 1, sizeof chunk, f)) > 0) {
        bytes.append(chunk, n);
    }
    std::fclose(f);
    return bytes;
}

// The file's text with the platform's line ends folded to "\n": Windows
// writes CR LF in text mode.
inline std::string ReadText(const std::string& path) {
    std::string bytes = ReadBytes(path);
#ifdef _WIN32
    std::string text;
    for (size_t i = 0; i < bytes.size(); ++i) {
        if (bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') continue;
        text += bytes[i];
    }
    return text;
#else
    return bytes;
#endif
}

inline bool Exists(const std::string& path) {
    std::error_code ignored;
    return std::filesystem::exists(path, ignored);
}

}  // namespace holv::test
