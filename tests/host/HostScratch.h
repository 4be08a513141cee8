// A scratch folder made current for one test and removed afterwards, and the
// path of the child probe beside the test program.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

namespace holv::test {

class CurrentScratchFolder {
public:
    CurrentScratchFolder() {
        char previous[MAX_PATH];
        ::GetCurrentDirectoryA(MAX_PATH, previous);
        previous_ = previous;
        char temp[MAX_PATH];
        ::GetTempPathA(MAX_PATH, temp);
        path_ = std::string(temp) + "holv-host-" + std::to_string(::GetCurrentProcessId()) + "-" +
                std::to_string(::GetTickCount());
        ::CreateDirectoryA(path_.c_str(), nullptr);
        ::SetCurrentDirectoryA(path_.c_str());
    }
    ~CurrentScratchFolder() {
        ::SetCurrentDirectoryA(previous_.c_str());
        for (const std::string& name : Names()) ::DeleteFileA((path_ + "\\" + name).c_str());
        ::RemoveDirectoryA(path_.c_str());
    }
    const std::string& Path() const { return path_; }

    // The names in the folder (files only).
    std::vector<std::string> Names() const {
        std::vector<std::string> names;
        WIN32_FIND_DATAA data;
        HANDLE find = ::FindFirstFileA((path_ + "\\*").c_str(), &data);
        if (find == INVALID_HANDLE_VALUE) return names;
        do {
            if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) names.push_back(data.cFileName);
        } while (::FindNextFileA(find, &data));
        ::FindClose(find);
        return names;
    }

private:
    std::string previous_;
    std::string path_;
};

inline std::string ChildProbePath() {
    char self[MAX_PATH];
    DWORD n = ::GetModuleFileNameA(nullptr, self, MAX_PATH);
    std::string path(self, n);
    return path.substr(0, path.find_last_of("\\/") + 1) + "holv_test_child.exe";
}

}  // namespace holv::test
