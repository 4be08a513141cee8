#include "imc/ImcBer.h"

#include <cstring>

#include "imc/ImcCodes.h"
#include "imc/ImcTags.h"

namespace holv {

int ImcBerReadTag(ImcBuffer& buffer, uint8_t& tag) {
    return ImcBufferReadByte(buffer, tag) == 0 ? ImcErrNone : ImcErrMalformed;
}

int ImcBerReadLength(ImcBuffer& buffer, int& length) {
    uint8_t first;
    if (ImcBufferReadByte(buffer, first) != 0) return ImcErrMalformed;
    if ((first & 0x80) == 0) {
        length = first;
    } else {
        // Long form: up to 127 length bytes. The value only grows as bytes
        // are shifted in, so the moment it passes what remains it is
        // malformed; it never overflows however many bytes there are.
        int count = first & 0x7F;
        if (count > ImcBufferRemaining(buffer)) {
            buffer.failed = true;
            return ImcErrMalformed;
        }
        int64_t value = 0;
        int after = ImcBufferRemaining(buffer) - count;
        for (int i = 0; i < count; ++i) {
            uint8_t b;
            if (ImcBufferReadByte(buffer, b) != 0) return ImcErrMalformed;
            value = value << 8 | b;
            if (value > after) {
                buffer.failed = true;
                return ImcErrMalformed;
            }
        }
        length = static_cast<int>(value);
    }
    if (length > ImcBufferRemaining(buffer)) {
        buffer.failed = true;
        return ImcErrMalformed;
    }
    return ImcErrNone;
}

int ImcBerReadHeader(ImcBuffer& buffer, uint8_t& tag, int& length) {
    int rc = ImcBerReadTag(buffer, tag);
    return rc != ImcErrNone ? rc : ImcBerReadLength(buffer, length);
}

int ImcBerReadInteger(ImcBuffer& buffer, int32_t& value) {
    int length;
    if (ImcBerReadLength(buffer, length) != ImcErrNone) return ImcErrMalformed;
    const uint8_t* p = ImcBufferData(buffer);
    // Shifted as unsigned so that neither a negative value nor a content
    // longer than four bytes (whose leading bytes fall off) is undefined.
    uint32_t v = 0;
    if (length > 0) v = (p[0] & 0x80) ? 0xFFFFFFFFu : 0;
    for (int i = 0; i < length; ++i) v = v << 8 | p[i];
    value = static_cast<int32_t>(v);
    return ImcBufferSkip(buffer, length) == 0 ? ImcErrNone : ImcErrMalformed;
}

int ImcBerReadString(ImcBuffer& buffer, std::vector<uint8_t>& bytes) {
    int length;
    if (ImcBerReadLength(buffer, length) != ImcErrNone) return ImcErrMalformed;
    const uint8_t* p = ImcBufferData(buffer);
    bytes.assign(p, p + length);
    return ImcBufferSkip(buffer, length) == 0 ? ImcErrNone : ImcErrMalformed;
}

int ImcBerReadString(ImcBuffer& buffer, std::string& text) {
    int length;
    if (ImcBerReadLength(buffer, length) != ImcErrNone) return ImcErrMalformed;
    text.assign(reinterpret_cast<const char*>(ImcBufferData(buffer)), static_cast<size_t>(length));
    return ImcBufferSkip(buffer, length) == 0 ? ImcErrNone : ImcErrMalformed;
}

namespace {

// One base-128 sub-identifier from p[i] on, within `length` bytes. False for
// a continuation that runs past the content or a value beyond 32 bits.
bool ReadSubIdentifier(const uint8_t* p, int length, int& i, uint32_t& id) {
    id = 0;
    uint8_t b;
    do {
        if (i == length || (id >> 25) != 0) return false;
        b = p[i++];
        id = id << 7 | (b & 0x7F);
    } while (b & 0x80);
    return true;
}

}  // namespace

int ImcBerReadOid(ImcBuffer& buffer, ImcOid& oid) {
    int length;
    if (ImcBerReadLength(buffer, length) != ImcErrNone) return ImcErrMalformed;
    const uint8_t* p = ImcBufferData(buffer);
    // The first sub-identifier carries the first two as first * 40 + second.
    // It is a single byte in every name in use; a longer one is read whole,
    // as the encoder writes it, rather than split at its first byte.
    int i = 0;
    uint32_t id;
    if (length == 0 || !ReadSubIdentifier(p, length, i, id)) {
        buffer.failed = true;
        return ImcErrMalformed;
    }
    oid.count = 0;
    oid.ids[oid.count++] = id / 40;
    oid.ids[oid.count++] = id % 40;
    while (i < length) {
        if (oid.count == ImcOidCapacity || !ReadSubIdentifier(p, length, i, id)) {
            buffer.failed = true;
            return ImcErrMalformed;
        }
        oid.ids[oid.count++] = id;
    }
    return ImcBufferSkip(buffer, length) == 0 ? ImcErrNone : ImcErrMalformed;
}


namespace {

// Bytes of a BER length: one below 128, else 0x80 + count and the count
// minimal big-endian bytes.
int LengthSize(unsigned length) {
    int n = 1;
    if (length >= 128) {
        for (; length != 0; length >>= 8) ++n;
    }
    return n;
}

void FillHeader(uint8_t* p, uint8_t tag, unsigned length, int lengthSize) {
    p[0] = tag;
    if (lengthSize == 1) {
        p[1] = static_cast<uint8_t>(length);
        return;
    }
    p[1] = static_cast<uint8_t>(0x80 | (lengthSize - 1));
    for (int i = lengthSize; i >= 2; --i, length >>= 8) p[i] = static_cast<uint8_t>(length);
}

int SubIdentifierSize(uint32_t id) {
    int n = 1;
    while (id >>= 7) ++n;
    return n;
}

// Base 128, most significant group first; every group but the last carries
// 0x80.
uint8_t* FillSubIdentifier(uint8_t* p, uint32_t id, int size) {
    for (int i = size - 1; i >= 0; --i, id >>= 7) p[i] = static_cast<uint8_t>((id & 0x7F) | (i == size - 1 ? 0 : 0x80));
    return p + size;
}

}  // namespace

// Each writer works out its item's size first and fills the reserved bytes
// in place: one bounds check per item rather than one per byte.

int ImcBerWriteHeader(ImcBuffer& buffer, uint8_t tag, int length) {
    if (length < 0) return ImcErrEncode;
    int lengthSize = LengthSize(static_cast<unsigned>(length));
    uint8_t* p = ImcBufferReserve(buffer, 1 + lengthSize);
    if (!p) return ImcErrEncode;
    FillHeader(p, tag, static_cast<unsigned>(length), lengthSize);
    return ImcErrNone;
}

int ImcBerWriteInteger(ImcBuffer& buffer, uint8_t tag, int32_t value) {
    // Minimal two's complement: drop leading bytes that only repeat the sign.
    int count = 1;
    for (int32_t v = value; v < -128 || v > 127; v >>= 8) ++count;  // arithmetic shift keeps the sign
    uint8_t* p = ImcBufferReserve(buffer, 2 + count);
    if (!p) return ImcErrEncode;
    p[0] = tag;
    p[1] = static_cast<uint8_t>(count);
    uint32_t bits = static_cast<uint32_t>(value);
    for (int i = count - 1; i >= 0; --i, bits >>= 8) p[2 + i] = static_cast<uint8_t>(bits);
    return ImcErrNone;
}

int ImcBerWriteString(ImcBuffer& buffer, uint8_t tag, const void* bytes, int length) {
    if (length < 0) return ImcErrEncode;
    int lengthSize = LengthSize(static_cast<unsigned>(length));
    if (length > buffer.position - 1 - lengthSize) {
        buffer.failed = true;
        return ImcErrEncode;
    }
    uint8_t* p = ImcBufferReserve(buffer, 1 + lengthSize + length);
    if (!p) return ImcErrEncode;
    FillHeader(p, tag, static_cast<unsigned>(length), lengthSize);
    if (length > 0) std::memcpy(p + 1 + lengthSize, bytes, static_cast<size_t>(length));
    return ImcErrNone;
}

int ImcBerWriteOid(ImcBuffer& buffer, const ImcOid& oid) {
    if (oid.count < 2 || oid.count > ImcOidCapacity) return ImcErrMalformed;
    // The first two sub-identifiers travel as one: first * 40 + second.
    uint64_t firstPair = uint64_t{oid.ids[0]} * 40 + oid.ids[1];
    if (firstPair > UINT32_MAX) return ImcErrMalformed;
    int sizes[ImcOidCapacity];
    sizes[1] = SubIdentifierSize(static_cast<uint32_t>(firstPair));
    int length = sizes[1];
    for (int i = 2; i < oid.count; ++i) length += sizes[i] = SubIdentifierSize(oid.ids[i]);
    int lengthSize = LengthSize(static_cast<unsigned>(length));
    uint8_t* p = ImcBufferReserve(buffer, 1 + lengthSize + length);
    if (!p) return ImcErrEncode;
    FillHeader(p, ImcTagOid, static_cast<unsigned>(length), lengthSize);
    p += 1 + lengthSize;
    p = FillSubIdentifier(p, static_cast<uint32_t>(firstPair), sizes[1]);
    for (int i = 2; i < oid.count; ++i) p = FillSubIdentifier(p, oid.ids[i], sizes[i]);
    return ImcErrNone;
}

}  // namespace holv
