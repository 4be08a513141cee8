// What the Windows tests need around the real programs: where they are, a
// scratch folder removed with everything in it, and whether the prefix may
// be changed.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

#include "base/Unique.h"

namespace holv::e2e {

// HOLV_BIN (the build's bin folder, Windows form) + "\" + name.
std::string ProgramPath(const char* name);
bool FileExists(const std::string& path);
// Only in a prefix thrown away afterwards (scripts/wine-fresh.sh, the
// network test bed) may tests change the registry.
bool InThrowawayPrefix();

// The one scratch folder of the tests: under the temp folder, removed with
// its contents by the destructor.
class ScratchDir {
public:
    ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;
    ~ScratchDir();
    bool ok() const { return !path_.empty(); }
    const std::string& path() const { return path_; }
    std::string Join(const std::string& relative) const { return path_ + "\\" + relative; }
    // Writes the file, making its folders; its full path, empty on failure.
    std::string Write(const std::string& relative, const std::string& content) const;

private:
    std::string path_;
};

std::string ReadFileText(const std::string& path);
// The smallest configuration file the program accepts.
std::string ValidVmx();

}  // namespace holv::e2e
