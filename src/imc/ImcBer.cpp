#include "imc/ImcBer.h"

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

int Encoded(int bufferResult) {
    return bufferResult == 0 ? ImcErrNone : ImcErrEncode;
}

}  // namespace

int ImcBerWriteHeader(ImcBuffer& buffer, uint8_t tag, int length) {
    if (length < 0) return ImcErrEncode;
    if (length < 128) {
        if (ImcBufferWriteByte(buffer, static_cast<uint8_t>(length)) != 0) return ImcErrEncode;
    } else {
        uint8_t count = 0;
        for (unsigned v = static_cast<unsigned>(length); v != 0; v >>= 8, ++count) {
            if (ImcBufferWriteByte(buffer, static_cast<uint8_t>(v)) != 0) return ImcErrEncode;
        }
        if (ImcBufferWriteByte(buffer, static_cast<uint8_t>(0x80 | count)) != 0) return ImcErrEncode;
    }
    return Encoded(ImcBufferWriteByte(buffer, tag));
}

int ImcBerWriteInteger(ImcBuffer& buffer, uint8_t tag, int32_t value) {
    int count = 1;
    if (ImcBufferWriteByte(buffer, static_cast<uint8_t>(value)) != 0) return ImcErrEncode;
    while (value < -128 || value > 127) {
        value >>= 8;  // arithmetic: keeps the sign
        if (ImcBufferWriteByte(buffer, static_cast<uint8_t>(value)) != 0) return ImcErrEncode;
        ++count;
    }
    return ImcBerWriteHeader(buffer, tag, count);
}

int ImcBerWriteString(ImcBuffer& buffer, uint8_t tag, const void* bytes, int length) {
    if (ImcBufferWrite(buffer, bytes, length) != 0) return ImcErrEncode;
    return ImcBerWriteHeader(buffer, tag, length);
}

namespace {

int WriteSubIdentifier(ImcBuffer& buffer, uint32_t id) {
    // Base 128, last group first; every group but the last carries 0x80.
    if (ImcBufferWriteByte(buffer, static_cast<uint8_t>(id & 0x7F)) != 0) return ImcErrEncode;
    for (id >>= 7; id != 0; id >>= 7) {
        if (ImcBufferWriteByte(buffer, static_cast<uint8_t>(0x80 | (id & 0x7F))) != 0) return ImcErrEncode;
    }
    return ImcErrNone;
}

}  // namespace

int ImcBerWriteOid(ImcBuffer& buffer, const ImcOid& oid) {
    if (oid.count < 2 || oid.count > ImcOidCapacity) return ImcErrMalformed;
    uint64_t firstPair = uint64_t{oid.ids[0]} * 40 + oid.ids[1];
    if (firstPair > UINT32_MAX) return ImcErrMalformed;
    int end = buffer.position;
    for (int i = oid.count - 1; i >= 2; --i) {
        if (WriteSubIdentifier(buffer, oid.ids[i]) != ImcErrNone) return ImcErrEncode;
    }
    if (WriteSubIdentifier(buffer, static_cast<uint32_t>(firstPair)) != ImcErrNone) return ImcErrEncode;
    return ImcBerWriteHeader(buffer, ImcTagOid, end - buffer.position);
}

}  // namespace holv
