// Helpers for the codec tests: bytes written as hex text, and frames taken
// out of buffers for comparison.
#pragma once
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
    int high = -1;
    for (char c : text) {
        int v;
        if (c >= '0' && c <= '9') v = c - '0';
        else if (c >= 'A' && c <= 'F') v = c - 'A' + 10;
        else if (c >= 'a' && c <= 'f') v = c - 'a' + 10;
        else continue;
        if (high < 0) {
            high = v;
        } else {
            out.push_back(static_cast<uint8_t>(high << 4 | v));
            high = -1;
        }
    }
    return out;
}

inline Bytes operator+(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

inline Bytes Text(const std::string& s) {
    return Bytes(s.begin(), s.end());
}

inline Bytes Repeat(uint8_t value, size_t n) {
    return Bytes(n, value);
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
    return 0x5F5E1000;  // 2020-09-13 12:26:40 UTC
}

// Encodes with the fixed clock; an empty result stands for a failure whose
// code is left in *rc.
inline Bytes Encode(ImcMessage& m, int* rc = nullptr) {
    ImcBuffer b;
    int r = EncodeFrame(m, b, FixedClock);
    if (rc) *rc = r;
    return r == ImcErrNone ? Unread(b) : Bytes{};
}

}  // namespace holv::test
