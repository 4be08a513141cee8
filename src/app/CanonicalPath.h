#pragma once
#include <string>

namespace holv {

// Absolute, long-name form of a path; the absolute form when the long name
// cannot be had.
std::string AbsoluteLongPath(const std::string& path);

// The on-disk spelling of an existing absolute path: upper-case drive letter
// and every component's true letter case. Leaves the file's folder current,
// so the VM's own files are found relative to it.
std::string CanonicalizePath(const std::string& absolutePath);

}  // namespace holv
