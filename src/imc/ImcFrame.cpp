#include "imc/ImcFrame.h"

#include <chrono>
#include <cstring>
#include <new>

#include "imc/ImcBer.h"
#include "imc/ImcCodes.h"

namespace holv {

namespace {

constexpr char MagicCommand[4] = {'I', 'M', 'C', 'C'};
constexpr char MagicReply[4] = {'I', 'M', 'C', 'R'};
constexpr char MagicNotification[4] = {'I', 'M', 'C', 'N'};

bool AllBytes(const uint8_t* bytes, int n, uint8_t value) {
    for (int i = 0; i < n; ++i) {
        if (bytes[i] != value) return false;
    }
    return true;
}

// ---- Encoding: every function writes in front of what is already there, so
// the frame's last part is written first.

int Put(int bufferResult) {
    return bufferResult == 0 ? ImcErrNone : ImcErrEncode;
}

// A text field: the text up to its first 0 byte, then the terminator.
int PutText(ImcBuffer& b, const std::string& text) {
    int rc = Put(ImcBufferWriteByte(b, 0));
    if (rc != ImcErrNone) return rc;
    size_t n = std::strlen(text.c_str());
    if (n > static_cast<size_t>(b.position)) return ImcErrEncode;
    return Put(ImcBufferWrite(b, text.data(), static_cast<int>(n)));
}

template <typename Block>
int PutBlock(ImcBuffer& b, const std::unique_ptr<Block>& block) {
    if (!block) return ImcErrMalformed;  // flagged but absent
    return Put(ImcBufferWrite(b, block->data(), static_cast<int>(block->size())));
}

int PutValue(ImcBuffer& b, const ImcVarBind& bind) {
    if (ImcIsIntegerType(bind.type)) return ImcBerWriteInteger(b, bind.type, bind.number);
    switch (bind.type) {
    case ImcTagOctetString:
        if (bind.bytes.size() > static_cast<size_t>(b.position)) return ImcErrEncode;
        return ImcBerWriteString(b, ImcTagOctetString, bind.bytes.data(), static_cast<int>(bind.bytes.size()));
    case ImcTagNull:
        return ImcBerWriteHeader(b, ImcTagNull, 0);
    case ImcTagOid:
        return ImcBerWriteOid(b, bind.oid);
    case ImcTagIpAddress:
        return ImcBerWriteString(b, ImcTagIpAddress, bind.address, 4);
    default:
        return ImcErrMalformed;
    }
}

// The bindings from the head of the list on: the head, added last, ends up
// last on the wire.
int PutVarBinds(ImcBuffer& b, const ImcVarBind* bind) {
    for (; bind; bind = bind->next.get()) {
        int end = b.position;
        int rc = PutValue(b, *bind);
        if (rc == ImcErrNone) rc = ImcBerWriteOid(b, bind->name);
        if (rc == ImcErrNone) rc = ImcBerWriteHeader(b, ImcTagSequence, end - b.position);
        if (rc != ImcErrNone) return rc;
    }
    return ImcErrNone;
}

// SEQUENCE { version 0, community, PDU { request-id, error-status,
// error-index, SEQUENCE OF bindings } }, the bindings already written; `end`
// is where the SNMP message ends.
int PutSnmpHeader(ImcBuffer& b, const ImcPdu& pdu, int end) {
    bool ok = ImcBerWriteHeader(b, ImcTagSequence, end - b.position) == ImcErrNone &&
              ImcBerWriteInteger(b, ImcTagInteger, pdu.errorIndex) == ImcErrNone &&
              ImcBerWriteInteger(b, ImcTagInteger, pdu.errorStatus) == ImcErrNone &&
              ImcBerWriteInteger(b, ImcTagInteger, pdu.requestId) == ImcErrNone &&
              ImcBerWriteHeader(b, pdu.type, end - b.position) == ImcErrNone &&
              pdu.community.size() <= static_cast<size_t>(b.position) &&
              ImcBerWriteString(b, ImcTagOctetString, pdu.community.data(),
                                static_cast<int>(pdu.community.size())) == ImcErrNone &&
              ImcBerWriteInteger(b, ImcTagInteger, 0) == ImcErrNone &&
              ImcBerWriteHeader(b, ImcTagSequence, end - b.position) == ImcErrNone;
    return ok ? ImcErrNone : ImcErrEncode;
}

int PutSnmp(ImcBuffer& b, ImcMessage& m) {
    if (!m.varBinds) return (m.flags & ImcFlagSnmp) ? ImcErrMalformed : ImcErrNone;
    m.flags |= ImcFlagSnmp;
    int end = b.position;
    int rc = PutVarBinds(b, m.varBinds.get());
    if (rc != ImcErrNone) return rc;
    if (!m.pdu) return ImcErrMalformed;
    return PutSnmpHeader(b, *m.pdu, end);
}

// The 16-byte block. A command carries it whenever its own bit is set. A
// reply carries it right after the host name, whatever its own bit says: in
// a reply bit 0x20000 means something else (the appliance asks for the host
// identity).
bool WritesBlock16(const ImcMessage& m) {
    return m.kind != 0 ? (m.flags & ImcFlagBlock16) != 0 : (m.flags & ImcFlagLocalHostName) != 0;
}

// Read, the block only ever follows the host name; a command needs its own
// bit as well.
bool ReadsBlock16(const ImcMessage& m) {
    return (m.flags & ImcFlagLocalHostName) && (m.kind == 0 || (m.flags & ImcFlagBlock16));
}

int PutIdentityFields(ImcBuffer& b, const ImcMessage& m, ImcClock clock) {
    int rc = ImcErrNone;
    if (m.flags & ImcFlagTime) rc = Put(ImcBufferWriteU32(b, clock ? clock() : ImcSystemClock()));
    if (rc == ImcErrNone && (m.flags & ImcFlagBlock128)) rc = PutBlock(b, m.block128);
    if (rc == ImcErrNone && WritesBlock16(m)) rc = PutBlock(b, m.block16);
    if (rc == ImcErrNone && (m.flags & ImcFlagLocalHostName)) rc = PutText(b, m.localHostName);
    return rc;
}

// Fields of bits 0x4 to 0x400. A command supplies 0x4..0x20 and 0x80 only
// with bit 0x1 (without it those bits ask for them) and never the texts that
// only the appliance reports.
int PutInfoFields(ImcBuffer& b, const ImcMessage& m) {
    bool command = m.kind != 0;
    bool supplied = !command || (m.flags & ImcFlagSupplied);
    uint32_t f = m.flags;
    int rc = ImcErrNone;
    if (rc == ImcErrNone && !command && (f & ImcFlagText400)) rc = PutText(b, m.text400);
    if (rc == ImcErrNone && !command && (f & ImcFlagFirmware)) rc = PutText(b, m.firmware);
    if (rc == ImcErrNone && !command && (f & ImcFlagProductName)) rc = PutText(b, m.productName);
    if (rc == ImcErrNone && supplied && (f & ImcFlagDeviceName)) rc = PutText(b, m.deviceName);
    if (rc == ImcErrNone && !command && (f & ImcFlagText40)) rc = PutText(b, m.text40);
    if (rc == ImcErrNone && supplied && (f & ImcFlagValue20)) rc = Put(ImcBufferWriteU32(b, m.value20));
    if (rc == ImcErrNone && supplied && (f & ImcFlagRaw10)) rc = Put(ImcBufferWrite(b, m.raw10, 4));
    if (rc == ImcErrNone && supplied && (f & ImcFlagRaw08)) rc = Put(ImcBufferWrite(b, m.raw08, 4));
    if (rc == ImcErrNone && supplied && (f & ImcFlagRaw04)) rc = Put(ImcBufferWrite(b, m.raw04, 4));
    return rc;
}

int PutHeader(ImcBuffer& b, const ImcMessage& m) {
    const char* magic = m.kind != 0 ? MagicCommand : m.notification ? MagicNotification : MagicReply;
    bool ok = ImcBufferWrite(b, m.mac, 6) == 0 && ImcBufferWriteU32(b, m.flags) == 0 &&
              ImcBufferWrite(b, magic, 4) == 0;
    return ok ? ImcErrNone : ImcErrEncode;
}

int PutFrame(ImcBuffer& b, ImcMessage& m, ImcClock clock) {
    int rc = PutSnmp(b, m);
    if (rc == ImcErrNone) rc = PutIdentityFields(b, m, clock);
    if (rc == ImcErrNone) rc = PutInfoFields(b, m);
    if (rc == ImcErrNone) rc = PutHeader(b, m);
    return rc;
}

// ---- Decoding: reads forwards; every check that fails makes the frame
// malformed.

int Get(int bufferResult) {
    return bufferResult == 0 ? ImcErrNone : ImcErrMalformed;
}

int GetExpected(ImcBuffer& b, uint8_t expectedTag) {
    uint8_t tag;
    int rc = ImcBerReadTag(b, tag);
    return rc != ImcErrNone ? rc : tag == expectedTag ? ImcErrNone : ImcErrMalformed;
}

// A tag and length that must span exactly the rest of the enclosing item.
int GetEnclosing(ImcBuffer& b, uint8_t& tag) {
    int length;
    int rc = ImcBerReadHeader(b, tag, length);
    if (rc != ImcErrNone) return rc;
    return length == ImcBufferRemaining(b) ? ImcErrNone : ImcErrMalformed;
}

int GetInteger(ImcBuffer& b, int32_t& value) {
    int rc = GetExpected(b, ImcTagInteger);
    return rc != ImcErrNone ? rc : ImcBerReadInteger(b, value);
}

int GetValue(ImcBuffer& b, ImcVarBind& bind) {
    int rc = ImcBerReadTag(b, bind.type);
    if (rc != ImcErrNone) return rc;
    if (ImcIsIntegerType(bind.type)) return ImcBerReadInteger(b, bind.number);
    int length;
    switch (bind.type) {
    case ImcTagOctetString:
        return ImcBerReadString(b, bind.bytes);
    case ImcTagNull:
        rc = ImcBerReadLength(b, length);
        return rc != ImcErrNone ? rc : length == 0 ? ImcErrNone : ImcErrMalformed;
    case ImcTagOid:
        return ImcBerReadOid(b, bind.oid);
    case ImcTagIpAddress:
        rc = ImcBerReadLength(b, length);
        if (rc != ImcErrNone) return rc;
        return length == 4 ? Get(ImcBufferRead(b, bind.address, 4)) : ImcErrMalformed;
    default:
        return ImcErrMalformed;
    }
}

// One binding. Its SEQUENCE length is read but not held to its content: the
// appliance's framing leaves it unchecked, and an answer whose binding length
// is off must still be heard. Name and value stay inside the enclosing
// binding list all the same, since the buffer's limit is that list's end.
int GetVarBind(ImcBuffer& b, ImcVarBind& bind) {
    int length;
    int rc = GetExpected(b, ImcTagSequence);
    if (rc == ImcErrNone) rc = ImcBerReadLength(b, length);
    if (rc == ImcErrNone) rc = GetExpected(b, ImcTagOid);
    if (rc == ImcErrNone) rc = ImcBerReadOid(b, bind.name);
    if (rc == ImcErrNone) rc = GetValue(b, bind);
    return rc;
}

int GetVarBinds(ImcBuffer& b, ImcMessage& m) {
    uint8_t tag;
    int rc = GetEnclosing(b, tag);
    if (rc != ImcErrNone) return rc;
    if (tag != ImcTagSequence || ImcBufferRemaining(b) == 0) return ImcErrMalformed;
    std::unique_ptr<ImcVarBind>* tail = &m.varBinds;
    while (ImcBufferRemaining(b) > 0) {
        tail->reset(new ImcVarBind);
        rc = GetVarBind(b, **tail);
        if (rc != ImcErrNone) return rc;
        tail = &(*tail)->next;
    }
    return ImcErrNone;
}

int GetSnmp(ImcBuffer& b, ImcMessage& m) {
    if (ImcBufferRemaining(b) < 4) return ImcErrMalformed;
    uint8_t tag;
    int rc = GetEnclosing(b, tag);
    if (rc != ImcErrNone) return rc;
    if (tag != ImcTagSequence) return ImcErrMalformed;
    int32_t version;
    rc = GetInteger(b, version);
    if (rc != ImcErrNone) return rc;
    if (version != 0) return ImcErrMalformed;  // SNMPv1 only
    m.pdu.reset(new ImcPdu);
    ImcPdu& pdu = *m.pdu;
    rc = GetExpected(b, ImcTagOctetString);
    if (rc == ImcErrNone) rc = ImcBerReadString(b, pdu.community);
    if (rc == ImcErrNone) rc = GetEnclosing(b, pdu.type);
    if (rc == ImcErrNone && !ImcIsPduType(pdu.type)) rc = ImcErrMalformed;
    if (rc == ImcErrNone) rc = GetInteger(b, pdu.requestId);
    if (rc == ImcErrNone) rc = GetInteger(b, pdu.errorStatus);
    if (rc == ImcErrNone) rc = GetInteger(b, pdu.errorIndex);
    if (rc == ImcErrNone) rc = GetVarBinds(b, m);
    return rc;
}

int GetHeader(ImcBuffer& b, ImcMessage& m) {
    if (ImcBufferRemaining(b) < ImcFrameHeaderSize) return ImcErrMalformed;
    char magic[4];
    if (ImcBufferRead(b, magic, 4) != 0 || ImcBufferReadU32(b, m.flags) != 0 || ImcBufferRead(b, m.mac, 6) != 0) {
        return ImcErrMalformed;
    }
    if (std::memcmp(magic, MagicCommand, 4) == 0) {
        m.kind = 1;
    } else if (std::memcmp(magic, MagicReply, 4) == 0) {
        m.kind = 0;
    } else if (std::memcmp(magic, MagicNotification, 4) == 0) {
        m.kind = 0;
        m.notification = 1;
    } else {
        return ImcErrMalformed;
    }
    if (m.kind == 0 && (m.flags & ImcFlagSupplied)) return ImcErrMalformed;
    if (m.kind == 0 && AllBytes(m.mac, 6, 0xFF)) return ImcErrMalformed;
    if (AllBytes(m.mac, 6, 0x00)) return ImcErrMalformed;
    return ImcErrNone;
}

// The optional fields in wire order, read as PutInfoFields and
// PutIdentityFields write them.
int GetFields(ImcBuffer& b, ImcMessage& m) {
    bool command = m.kind != 0;
    bool supplied = !command || (m.flags & ImcFlagSupplied);
    uint32_t f = m.flags;
    int rc = ImcErrNone;
    if (rc == ImcErrNone && supplied && (f & ImcFlagRaw04)) rc = Get(ImcBufferRead(b, m.raw04, 4));
    if (rc == ImcErrNone && supplied && (f & ImcFlagRaw08)) rc = Get(ImcBufferRead(b, m.raw08, 4));
    if (rc == ImcErrNone && supplied && (f & ImcFlagRaw10)) rc = Get(ImcBufferRead(b, m.raw10, 4));
    if (rc == ImcErrNone && supplied && (f & ImcFlagValue20)) rc = Get(ImcBufferReadU32(b, m.value20));
    if (rc == ImcErrNone && !command && (f & ImcFlagText40)) rc = Get(ImcBufferReadString(b, m.text40));
    if (rc == ImcErrNone && supplied && (f & ImcFlagDeviceName)) rc = Get(ImcBufferReadString(b, m.deviceName));
    if (rc == ImcErrNone && !command && (f & ImcFlagProductName)) rc = Get(ImcBufferReadString(b, m.productName));
    if (rc == ImcErrNone && !command && (f & ImcFlagFirmware)) rc = Get(ImcBufferReadString(b, m.firmware));
    if (rc == ImcErrNone && !command && (f & ImcFlagText400)) rc = Get(ImcBufferReadString(b, m.text400));
    if (rc == ImcErrNone && (f & ImcFlagLocalHostName)) rc = Get(ImcBufferReadString(b, m.localHostName));
    if (rc == ImcErrNone && ReadsBlock16(m)) {
        m.block16.reset(new ImcBlock16);
        rc = Get(ImcBufferRead(b, m.block16->data(), 16));
    }
    if (rc == ImcErrNone && (f & ImcFlagBlock128)) {
        m.block128.reset(new ImcBlock128);
        rc = Get(ImcBufferRead(b, m.block128->data(), 128));
    }
    if (rc == ImcErrNone && (f & ImcFlagTime)) rc = Get(ImcBufferSkip(b, 4));  // read and dropped
    return rc;
}

int GetFrame(ImcBuffer& b, ImcMessage& m) {
    int rc = GetHeader(b, m);
    if (rc == ImcErrNone) rc = GetFields(b, m);
    if (rc == ImcErrNone && (m.flags & ImcFlagSnmp)) rc = GetSnmp(b, m);
    return rc;
}

}  // namespace

uint32_t ImcSystemClock() {
    using namespace std::chrono;
    auto seconds = duration_cast<std::chrono::seconds>(system_clock::now().time_since_epoch()).count();
    return static_cast<uint32_t>(static_cast<uint64_t>(seconds));
}

int EncodeFrame(ImcMessage& message, ImcBuffer& frame, ImcClock clock) {
    if (frame.size != ImcFrameCapacity || !frame.bytes) {
        int rc = ImcBufferAllocate(frame, ImcFrameCapacity);
        if (rc != ImcErrNone) return rc;
    }
    // Written from the end towards the front.
    frame.limit = ImcFrameCapacity;
    frame.position = ImcFrameCapacity;
    frame.failed = false;
    int rc = PutFrame(frame, message, clock);
    if (rc != ImcErrNone) ImcBufferFree(frame);
    return rc;
}

int DecodeFrame(ImcBuffer& frame, std::unique_ptr<ImcMessage>& message) {
    message.reset();
    // Text and binding allocations report exhaustion by throwing; it stops
    // here, and what was built is freed with `decoded`.
    try {
        std::unique_ptr<ImcMessage> decoded(new ImcMessage);
        int rc = GetFrame(frame, *decoded);
        if (rc != ImcErrNone) return rc;
        message = std::move(decoded);
        return ImcErrNone;
    } catch (const std::bad_alloc&) {
        return ImcErrNoMemory;
    }
}

}  // namespace holv
