#include "base/SystemFolder.h"

namespace holv {

std::string SystemFilePath(const char* name) {
    char folder[MAX_PATH];
    UINT length = ::GetSystemDirectoryA(folder, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return std::string();
    std::string path(folder, length);
    if (path.back() != '\\') path += '\\';
    return path + name;
}

HMODULE LoadSystemLibrary(const char* name) {
    // LOAD_LIBRARY_SEARCH_SYSTEM32 is missing on an unpatched Windows 7 (the
    // call then fails with ERROR_INVALID_PARAMETER): the full path does the
    // same there.
    if (HMODULE module = ::LoadLibraryExA(name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32)) return module;
    if (::GetLastError() != ERROR_INVALID_PARAMETER) return nullptr;
    std::string path = SystemFilePath(name);
    if (path.empty()) return nullptr;
    return ::LoadLibraryExA(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

void RestrictLibrarySearch() {
    using SetDirectoriesFn = BOOL(WINAPI*)(DWORD);
    HMODULE kernel = ::GetModuleHandleA("kernel32.dll");
    auto set = kernel ? reinterpret_cast<SetDirectoriesFn>(
                            reinterpret_cast<void*>(::GetProcAddress(kernel, "SetDefaultDllDirectories")))
                      : nullptr;
    if (set) set(LOAD_LIBRARY_SEARCH_SYSTEM32);
    // The current folder leaves the search of the older systems too.
    ::SetDllDirectoryA("");
}

std::string CurrentFolder() {
    char folder[MAX_PATH + 1];
    DWORD length = ::GetCurrentDirectoryA(sizeof folder, folder);
    if (length == 0 || length >= sizeof folder) return std::string();
    return std::string(folder, length);
}

std::string ProgramFolder() {
    char path[MAX_PATH + 1];
    DWORD length = ::GetModuleFileNameA(nullptr, path, sizeof path);
    if (length == 0 || length >= sizeof path) return std::string();
    std::string folder(path, length);
    size_t slash = folder.find_last_of('\\');
    return slash == std::string::npos ? std::string() : folder.substr(0, slash);
}

}  // namespace holv
