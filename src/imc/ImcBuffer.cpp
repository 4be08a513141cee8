#include "imc/ImcBuffer.h"

#include <cstring>
#include <new>

#include "imc/ImcCodes.h"

namespace holv {

namespace {

int Fail(ImcBuffer& buffer) {
    buffer.failed = true;
    return -1;
}

}  // namespace

int ImcBufferAllocate(ImcBuffer& buffer, int size) {
    ImcBufferFree(buffer);
    if (size < 0) return ImcErrMalformed;
    // Not cleared: a frame overwrites what it uses, and a datagram fills
    // what it reports. One byte at least, so an empty buffer still has bytes.
    buffer.bytes.reset(new (std::nothrow) uint8_t[size > 0 ? size : 1]);
    if (!buffer.bytes) return ImcErrNoMemory;
    buffer.size = size;
    buffer.limit = size;
    return ImcErrNone;
}

int ImcBufferAssign(ImcBuffer& buffer, const void* data, int count) {
    int rc = ImcBufferAllocate(buffer, count);
    if (rc != ImcErrNone) return rc;
    if (count > 0) std::memcpy(buffer.bytes.get(), data, static_cast<size_t>(count));
    return ImcErrNone;
}

void ImcBufferFree(ImcBuffer& buffer) {
    buffer.bytes.reset();
    buffer.size = 0;
    buffer.limit = 0;
    buffer.position = 0;
    buffer.failed = false;
}

void ImcBufferReset(ImcBuffer& buffer) {
    buffer.position = 0;
    buffer.limit = buffer.size;
    buffer.failed = false;
}

int ImcBufferSetLimit(ImcBuffer& buffer, int count) {
    if (count < 0 || count > buffer.size || count < buffer.position) return Fail(buffer);
    buffer.limit = count;
    return 0;
}

int ImcBufferRead(ImcBuffer& buffer, void* destination, int n) {
    if (buffer.failed || n < 0 || n > ImcBufferRemaining(buffer)) return Fail(buffer);
    if (n > 0) std::memcpy(destination, buffer.bytes.get() + buffer.position, static_cast<size_t>(n));
    buffer.position += n;
    return 0;
}

int ImcBufferReadU32(ImcBuffer& buffer, uint32_t& value) {
    uint8_t b[4];
    if (ImcBufferRead(buffer, b, 4) != 0) return -1;
    value = uint32_t{b[0]} << 24 | uint32_t{b[1]} << 16 | uint32_t{b[2]} << 8 | b[3];
    return 0;
}

int ImcBufferSkip(ImcBuffer& buffer, int n) {
    // Compared without forming position + n, which could overflow.
    if (buffer.failed || n > buffer.limit - buffer.position || n < -buffer.position) return Fail(buffer);
    buffer.position += n;
    return 0;
}

int ImcBufferReadString(ImcBuffer& buffer, std::string& text) {
    if (buffer.failed || ImcBufferRemaining(buffer) < 1) return Fail(buffer);
    const uint8_t* start = buffer.bytes.get() + buffer.position;
    const void* end = std::memchr(start, 0, static_cast<size_t>(ImcBufferRemaining(buffer)));
    if (!end) return Fail(buffer);
    size_t length = static_cast<size_t>(static_cast<const uint8_t*>(end) - start);
    text.assign(reinterpret_cast<const char*>(start), length);
    buffer.position += static_cast<int>(length) + 1;
    return 0;
}

int ImcBufferEnter(ImcBuffer& buffer, int length, int& outerLimit) {
    if (buffer.failed || length < 0 || length > ImcBufferRemaining(buffer)) return Fail(buffer);
    outerLimit = buffer.limit;
    buffer.limit = buffer.position + length;
    return 0;
}

int ImcBufferLeave(ImcBuffer& buffer, int outerLimit) {
    bool exact = buffer.position == buffer.limit;
    buffer.limit = outerLimit;
    if (buffer.failed || !exact) return Fail(buffer);
    return 0;
}

int ImcBufferWrite(ImcBuffer& buffer, const void* source, int n) {
    if (buffer.failed || n < 0 || n > buffer.position) return Fail(buffer);
    buffer.position -= n;
    if (n > 0) std::memcpy(buffer.bytes.get() + buffer.position, source, static_cast<size_t>(n));
    return 0;
}

int ImcBufferWriteU32(ImcBuffer& buffer, uint32_t value) {
    const uint8_t b[4] = {static_cast<uint8_t>(value >> 24), static_cast<uint8_t>(value >> 16),
                          static_cast<uint8_t>(value >> 8), static_cast<uint8_t>(value)};
    return ImcBufferWrite(buffer, b, 4);
}

}  // namespace holv
