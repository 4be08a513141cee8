// The byte buffer frames are built in and parsed from.
//
// Reading runs forwards from `position` to `limit`. Writing runs back to
// front: a frame is built by moving `position` down from the end, so every
// length prefix is written after the content it measures and no second pass
// is needed. Any failed read or write marks the buffer failed, and every later
// read or write fails too (until the buffer is reset), so a parser cannot act
// on bytes read after a bounds violation.
#pragma once
#include <cstdint>
#include <memory>
#include <string>

namespace holv {

// Frames are built in buffers of this size; it is also the largest datagram
// the socket path accepts.
constexpr int ImcFrameCapacity = 2048;

struct ImcBuffer {
    int limit = 0;     // valid bytes (reading) or capacity (writing)
    int position = 0;  // read or write cursor
    std::unique_ptr<uint8_t[]> bytes;
    int size = 0;         // allocated bytes
    bool failed = false;  // sticky: set by the first failed read or write
};

// Allocates `size` bytes (not cleared); position 0, limit `size`, not failed.
// Returns ImcErrNone, ImcErrNoMemory, or ImcErrMalformed for a negative size.
int ImcBufferAllocate(ImcBuffer& buffer, int size);
// Allocates a copy of `count` bytes for reading: position 0, limit `count`.
int ImcBufferAssign(ImcBuffer& buffer, const void* data, int count);
// Frees the bytes; the buffer is then empty.
void ImcBufferFree(ImcBuffer& buffer);
// Position 0, limit = allocated size, not failed: ready for a new datagram.
void ImcBufferReset(ImcBuffer& buffer);
// Sets `limit` to a received count; -1 if the count is negative, beyond the
// allocated size or below `position`.
int ImcBufferSetLimit(ImcBuffer& buffer, int count);

inline int ImcBufferRemaining(const ImcBuffer& buffer) {
    return buffer.limit - buffer.position;
}
// The bytes from `position` on: the unread part, or the finished frame.
inline const uint8_t* ImcBufferData(const ImcBuffer& buffer) {
    return buffer.bytes.get() + buffer.position;
}

// Reading. Each returns 0, or -1 with the cursor unchanged and the buffer
// marked failed.
int ImcBufferRead(ImcBuffer& buffer, void* destination, int n);
int ImcBufferReadU32(ImcBuffer& buffer, uint32_t& value);  // big-endian
// Inline: the BER codec reads most items a byte at a time.
inline int ImcBufferReadByte(ImcBuffer& buffer, uint8_t& value) {
    if (buffer.failed || buffer.position >= buffer.limit) {
        buffer.failed = true;
        return -1;
    }
    value = buffer.bytes[buffer.position++];
    return 0;
}
// Moves the cursor by n (may be negative) within 0..limit.
int ImcBufferSkip(ImcBuffer& buffer, int n);
// Reads a text up to and including the next 0 byte before `limit`; the text
// (without its terminator) goes to `text`. -1 if there is no terminator.
int ImcBufferReadString(ImcBuffer& buffer, std::string& text);

// Sub-spans: reading inside a TLV is limited to its declared length. Enter
// narrows `limit` to the next `length` bytes and hands back the outer limit;
// Leave restores it and fails unless the span was read exactly to its end.
int ImcBufferEnter(ImcBuffer& buffer, int length, int& outerLimit);
int ImcBufferLeave(ImcBuffer& buffer, int outerLimit);

// Writing, back to front. Each returns 0, or -1 when the bytes do not fit in
// front of `position` (the buffer is then marked failed).
inline int ImcBufferWriteByte(ImcBuffer& buffer, uint8_t value) {
    if (buffer.failed || buffer.position < 1) {
        buffer.failed = true;
        return -1;
    }
    buffer.bytes[--buffer.position] = value;
    return 0;
}
int ImcBufferWrite(ImcBuffer& buffer, const void* source, int n);
// Moves `position` down by n and returns where the n bytes go, for writers
// that fill them in place; null (and the buffer failed) when they do not fit.
inline uint8_t* ImcBufferReserve(ImcBuffer& buffer, int n) {
    if (buffer.failed || n < 0 || n > buffer.position) {
        buffer.failed = true;
        return nullptr;
    }
    buffer.position -= n;
    return buffer.bytes.get() + buffer.position;
}
int ImcBufferWriteU32(ImcBuffer& buffer, uint32_t value);  // big-endian

}  // namespace holv
