#include "base/Text.h"

#include <cstdio>
#include <cstring>

namespace holv {

size_t CopyText(char* dst, size_t cap, const char* src) {
    if (cap == 0) return 0;
    size_t n = 0;
    if (src) {
        while (n + 1 < cap && src[n] != '\0') {
            dst[n] = src[n];
            ++n;
        }
    }
    dst[n] = '\0';
    return n;
}

size_t FormatTextV(char* dst, size_t cap, const char* format, va_list args) {
    if (cap == 0) return 0;
    int n = std::vsnprintf(dst, cap, format, args);
    // A runtime that reports truncation as -1 still filled the buffer.
    dst[cap - 1] = '\0';
    if (n < 0) return std::strlen(dst);
    return static_cast<size_t>(n) < cap ? static_cast<size_t>(n) : cap - 1;
}

size_t FormatText(char* dst, size_t cap, const char* format, ...) {
    va_list args;
    va_start(args, format);
    size_t n = FormatTextV(dst, cap, format, args);
    va_end(args);
    return n;
}

char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }
char UpperAscii(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

int CompareNoCase(const char* a, const char* b, size_t n) {
    for (size_t i = 0; i < n; ++i) {
        char x = LowerAscii(a[i]), y = LowerAscii(b[i]);
        if (x != y) return static_cast<unsigned char>(x) < static_cast<unsigned char>(y) ? -1 : 1;
        if (x == '\0') return 0;
    }
    return 0;
}

}  // namespace holv
