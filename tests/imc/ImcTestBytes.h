// Helpers for the codec tests: bytes written as hex text, buffers to read
// them from, and frames encoded with a fixed clock.
#pragma once
#include <cctype>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "imc/ImcBuffer.h"
#include "imc/ImcCodes.h"
#include "imc/ImcFrame.h"

namespace holv::test {

using Bytes = std::vector<uint8_t>;

// "49 4D 43 43" -> {0x49, 0x4D, 0x43, 0x43}; blanks are ignored.
inline Bytes Hex(const std::string& text) {
    Bytes out;
    std::string digits;
    for (char c : text)
        if (std::isxdigit(static_cast<unsigned char>(c))) digits += c;
    for (size_t i = 0; i + 1 < digits.size(); i += 2)
        out.push_back(static_cast<uint8_t>(std::stoul(digits.substr(i, 2), nullptr, 16)));
    return out;
}

inline Bytes operator+(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

inline Bytes Text(const std::string& s) {
    return Bytes(s.begin(), s.end());
}

// The bytes from position to limit.
inline Bytes Unread(const ImcBuffer& b) {
    return Bytes(ImcBufferData(b), ImcBufferData(b) + ImcBufferRemaining(b));
}

inline ImcBuffer ReadBuffer(const Bytes& bytes) {
    ImcBuffer b;
    ImcBufferAssign(b, bytes.data(), static_cast<int>(bytes.size()));
    return b;
}

inline int Decode(const Bytes& bytes, std::unique_ptr<ImcMessage>& message) {
    ImcBuffer b = ReadBuffer(bytes);
    return DecodeFrame(b, message);
}

inline uint32_t FixedClock() {
    return 0x5F5E1000;
}  // 2020-09-13 12:26:40 UTC

// Encodes with the fixed clock; empty on failure, whose code is left in *rc.
inline Bytes Encode(ImcMessage& m, int* rc = nullptr) {
    ImcBuffer b;
    int r = EncodeFrame(m, b, FixedClock);
    if (rc) *rc = r;
    return r == ImcErrNone ? Unread(b) : Bytes{};
}

}  // namespace holv::test
