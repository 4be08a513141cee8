// Bounded text: every copy is cut to its buffer and always terminated. Text
// from the appliance, the registry and files is never trusted to fit.
#pragma once
#include <cstdarg>
#include <cstddef>

namespace holv {

// Copies at most cap-1 characters of src (null counts as empty) and
// terminates. Returns the number of characters stored. cap 0 stores nothing.
size_t CopyText(char* dst, size_t cap, const char* src);

template <size_t N>
size_t CopyText(char (&dst)[N], const char* src) {
    return CopyText(dst, N, src);
}

// printf into dst, cut to cap-1 characters, always terminated. Returns the
// number of characters stored.
size_t FormatText(char* dst, size_t cap, const char* format, ...)
    __attribute__((format(printf, 3, 4)));
size_t FormatTextV(char* dst, size_t cap, const char* format, va_list args);

// ASCII-only case-insensitive comparisons: the keys and verbs compared are
// plain ASCII, and the locale must not change how they match.
int CompareNoCase(const char* a, const char* b, size_t n);
char LowerAscii(char c);
char UpperAscii(char c);

}  // namespace holv
