// The one platform call of the VM file rewrite: the finished temporary file
// takes the original's place in a single step, so a crash at any moment
// leaves either the old or the new configuration, never none.
#include "session/VmxFile.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <cstdio>
#endif

namespace holv {

bool VmxReplaceFile(const char* from, const char* to) {
#ifdef _WIN32
    return ::MoveFileExA(from, to, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
#else
    return std::rename(from, to) == 0;
#endif
}

}  // namespace holv
