#include "SimText.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>

namespace holv {

namespace {

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

void AppendHexByte(std::string& out, uint8_t b) {
    static const char digits[] = "0123456789abcdef";
    out += digits[b >> 4];
    out += digits[b & 15];
}

// strtoull/strtoll accept leading blanks and signs we do not want; the text
// must be a plain number from its first character to its last.
bool PlainNumber(const std::string& text, bool allowMinus) {
    if (text.empty()) return false;
    size_t i = (allowMinus && text[0] == '-') ? 1 : 0;
    return i < text.size() && text[i] >= '0' && text[i] <= '9';
}

}  // namespace

std::string SimHex(const void* bytes, size_t n) {
    std::string out;
    const uint8_t* p = static_cast<const uint8_t*>(bytes);
    for (size_t i = 0; i < n; ++i) AppendHexByte(out, p[i]);
    return out;
}

std::string SimEscape(const std::string& bytes) {
    std::string out;
    for (unsigned char c : bytes) {
        if (c >= 0x20 && c < 0x7F && c != '\\') {
            out += static_cast<char>(c);
        } else {
            out += "\\x";
            AppendHexByte(out, c);
        }
    }
    return out;
}

std::string SimPercent(const std::string& bytes) {
    std::string out;
    for (unsigned char c : bytes) {
        if (c > 0x20 && c < 0x7F && c != '%') {
            out += static_cast<char>(c);
        } else {
            out += '%';
            AppendHexByte(out, c);
        }
    }
    return out;
}

bool SimUnescape(const std::string& text, std::string& bytes) {
    bytes.clear();
    for (size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c != '\\' || i + 1 == text.size()) {
            bytes += c;
            continue;
        }
        char e = text[++i];
        switch (e) {
            case '\\': bytes += '\\'; break;
            case 'n': bytes += '\n'; break;
            case 'r': bytes += '\r'; break;
            case 't': bytes += '\t'; break;
            case '0': bytes += '\0'; break;
            case 'x': {
                int hi = i + 1 < text.size() ? HexDigit(text[i + 1]) : -1;
                int lo = i + 2 < text.size() ? HexDigit(text[i + 2]) : -1;
                if (hi < 0 || lo < 0) return false;
                bytes += static_cast<char>(hi * 16 + lo);
                i += 2;
                break;
            }
            default: bytes += '\\'; bytes += e;
        }
    }
    return true;
}

bool SimParseMac(const std::string& text, uint8_t mac[6]) {
    if (text.size() != 17) return false;
    uint8_t parsed[6];
    for (int i = 0; i < 6; ++i) {
        int hi = HexDigit(text[i * 3]);
        int lo = HexDigit(text[i * 3 + 1]);
        if (hi < 0 || lo < 0) return false;
        if (i < 5 && text[i * 3 + 2] != ':' && text[i * 3 + 2] != '-') return false;
        parsed[i] = static_cast<uint8_t>(hi * 16 + lo);
    }
    for (int i = 0; i < 6; ++i) mac[i] = parsed[i];
    return true;
}

std::string SimFormatMac(const uint8_t mac[6]) {
    char text[18];
    std::snprintf(text, sizeof text, "%02x:%02x:%02x:%02x:%02x:%02x", mac[0], mac[1], mac[2], mac[3], mac[4], mac[5]);
    return text;
}

bool SimParseU32(const std::string& text, uint32_t& value) {
    if (!PlainNumber(text, false)) return false;
    errno = 0;
    char* end = nullptr;
    unsigned long long v = std::strtoull(text.c_str(), &end, 0);
    if (errno != 0 || *end != '\0' || v > 0xFFFFFFFFull) return false;
    value = static_cast<uint32_t>(v);
    return true;
}

bool SimParseI32(const std::string& text, int32_t& value) {
    if (!PlainNumber(text, true)) return false;
    errno = 0;
    char* end = nullptr;
    long long v = std::strtoll(text.c_str(), &end, 0);
    if (errno != 0 || *end != '\0') return false;
    // Also take 0x80000000..0xFFFFFFFF as their 32-bit two's complement.
    if (v < -2147483648ll || v > 0xFFFFFFFFll) return false;
    value = static_cast<int32_t>(static_cast<uint32_t>(v));
    return true;
}

bool SimParseVariable(const std::string& text, uint32_t& group, uint32_t& item) {
    size_t dot = text.find('.');
    if (dot == std::string::npos) return false;
    uint32_t g, i;
    if (!SimParseU32(text.substr(0, dot), g) || !SimParseU32(text.substr(dot + 1), i)) return false;
    if (g > 0xFFFF || i > 0xFFFF) return false;
    group = g;
    item = i;
    return true;
}

bool SimVariableOf(const ImcOid& name, uint32_t& group, uint32_t& item) {
    ImcOid model = ImcVariableName(0, 0);
    if (name.count != model.count) return false;
    for (int i = 0; i < model.count; ++i) {
        bool variablePart = i == 9 || i == 10;
        if (!variablePart && name.ids[i] != model.ids[i]) return false;
    }
    if (name.ids[9] > 0xFFFF || name.ids[10] > 0xFFFF) return false;
    group = name.ids[9];
    item = name.ids[10];
    return true;
}

std::string SimFormatOid(const ImcOid& oid) {
    std::string out;
    for (int i = 0; i < oid.count && i < ImcOidCapacity; ++i) {
        if (i) out += '.';
        out += std::to_string(oid.ids[i]);
    }
    return out;
}

bool SimParseOid(const std::string& text, ImcOid& oid) {
    ImcOid parsed;
    size_t start = 0;
    while (start <= text.size()) {
        size_t dot = text.find('.', start);
        std::string part = text.substr(start, dot == std::string::npos ? std::string::npos : dot - start);
        if (parsed.count == ImcOidCapacity || part.empty() || part[0] < '0' || part[0] > '9') return false;
        char* end = nullptr;
        errno = 0;
        unsigned long long v = std::strtoull(part.c_str(), &end, 10);
        if (errno != 0 || *end != '\0' || v > 0xFFFFFFFFull) return false;
        parsed.ids[parsed.count++] = static_cast<uint32_t>(v);
        if (dot == std::string::npos) break;
        start = dot + 1;
    }
    oid = parsed;
    return true;
}

}  // namespace holv
