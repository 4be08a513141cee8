// The version of Windows the program runs on, asked in one place.
#pragma once
#include <windows.h>

namespace holv {

// The system's version as GetVersionExA reports it (the manifest declares
// the systems this program supports, so the answer is not capped); zeroes
// when the call fails.
OSVERSIONINFOA SystemVersion();

}  // namespace holv
