#include "host/HandlerCommand.h"

#include <cstring>

namespace holv {

size_t UrlSchemeLength(const char* url) {
    const char* colon = url ? std::strchr(url, ':') : nullptr;
    return colon ? static_cast<size_t>(colon - url) : 0;
}

bool MakeHandlerFormat(const char* command, char (&format)[kHandlerFormatSize]) {
    format[0] = '\0';
    size_t length = command ? strnlen(command, kHandlerValueSize) : 0;
    if (length == 0 || length >= kHandlerValueSize) return false;
    const char* percent = std::strchr(command, '%');
    if (!percent) {
        // Room for the appended " %s" within the handler's 256 bytes.
        if (length >= kHandlerValueSize - 3) return false;
        std::memcpy(format, command, length);
        std::memcpy(format + length, " %s", 4);
        return true;
    }
    // Exactly one placeholder, the URL's: any other would reach the
    // formatting as a conversion of its own.
    if (percent[1] != '1' || std::strchr(percent + 2, '%')) return false;
    std::memcpy(format, command, length + 1);
    format[percent - command + 1] = 's';
    return true;
}

size_t EncodeUrlForCommandLine(const char* url, char* out, size_t cap) {
    if (cap == 0) return 0;
    static const char kHex[] = "0123456789ABCDEF";
    size_t n = 0;
    for (const char* p = url ? url : ""; *p; ++p) {
        auto byte = static_cast<unsigned char>(*p);
        bool legal = byte > 0x20 && byte < 0x7F && !std::strchr("\"<>\\^`{|}", byte);
        size_t need = legal ? 1 : 3;
        if (n + need >= cap) break;  // whole escapes only, and the terminator
        if (legal) {
            out[n++] = *p;
        } else {
            out[n++] = '%';
            out[n++] = kHex[byte >> 4];
            out[n++] = kHex[byte & 15];
        }
    }
    out[n] = '\0';
    return n;
}

size_t EscapeForCommandInterpreter(const char* url, char* out, size_t cap) {
    if (cap == 0) return 0;
    size_t n = 0;
    for (const char* p = url ? url : ""; *p; ++p) {
        bool special = std::strchr("&|<>^()", *p) != nullptr;
        size_t need = special ? 2 : 1;
        if (n + need > cap - 1) break;
        if (special) out[n++] = '^';
        out[n++] = *p;
    }
    out[n] = '\0';
    return n;
}

}  // namespace holv
