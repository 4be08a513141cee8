// A string value of the registry read into a fixed buffer. The registry does
// not promise a terminator, so the reader puts one in, always inside the
// buffer.
#pragma once
#include <windows.h>

#include <cstddef>

namespace holv {

// Reads value `name` of `key` (REG_SZ or REG_EXPAND_SZ) into text, which
// holds cap bytes: at most cap-1 bytes of the value are asked for, and the
// text is terminated after what was stored (a value stored with its NUL ends
// there). Returns the registry's result: ERROR_FILE_NOT_FOUND when the value
// is missing, ERROR_MORE_DATA when it does not fit, ERROR_INVALID_DATA
// for another type. On any failure text is empty. cap must be at least 1.
LSTATUS ReadRegistryText(HKEY key, const char* name, char* text, size_t cap);

template <size_t N>
LSTATUS ReadRegistryText(HKEY key, const char* name, char (&text)[N]) {
    return ReadRegistryText(key, name, text, N);
}

}  // namespace holv
