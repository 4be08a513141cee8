// The owner of a C stream: closed with its holder on every path. Windows-free,
// for the file readers that build natively too.
#pragma once
#include <cstdio>
#include <memory>

namespace holv {

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

}  // namespace holv
