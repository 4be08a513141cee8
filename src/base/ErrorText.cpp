#include "base/ErrorText.h"

#include <windows.h>

#include "base/Text.h"
#include "base/Unique.h"

namespace holv {

std::string ErrorText(long code) {
    char* raw = nullptr;
    DWORD n = FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
        static_cast<DWORD>(code), MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), reinterpret_cast<char*>(&raw), 0, nullptr);
    UniqueLocal owner(raw);
    if (n > 0 && raw) {
        std::string text(raw, n);
        if (!text.empty() && text.back() == '\n') text.pop_back();
        if (!text.empty() && text.back() == '\r') text.pop_back();
        return text;
    }
    char buf[64];
    unsigned long u = static_cast<unsigned long>(code);
    if (u >= 0x80040200UL && u <= 0x8004FFFFUL)
        FormatText(buf, sizeof buf, "IDispatch error #%d", static_cast<int>(u - 0x80040200UL));
    else
        FormatText(buf, sizeof buf, "Unknown error 0x%0lX", u);
    return buf;
}

}  // namespace holv
