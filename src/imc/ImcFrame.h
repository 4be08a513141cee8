// The IMC frame: a 14-byte header (magic, flag word, appliance MAC), the
// optional fields its flag bits announce, and with bit 0x80000000 an SNMPv1
// message that runs to the end of the frame.
#pragma once
#include <cstdint>
#include <memory>

#include "imc/ImcBuffer.h"
#include "imc/ImcMessage.h"

namespace holv {

constexpr int ImcFrameHeaderSize = 14;

// Seconds since 1970-01-01 00:00 UTC, low 32 bits: the value of the time
// field (bit 0x80000).
using ImcClock = uint32_t (*)();
uint32_t ImcSystemClock();

// Builds the frame of `message` in `frame`, back to front, in a buffer of
// ImcFrameCapacity bytes (allocated unless `frame` already has that size).
// Sets bit 0x80000000 in message.flags when the message has bindings. The
// finished frame is ImcBufferData(frame), ImcBufferRemaining(frame) bytes.
// `clock` supplies the time field; null means ImcSystemClock.
//
// Commands are written as the appliance expects them: the fields of bits 0x4
// to 0x20 and 0x80 only with bit 0x1, and the 16-byte block with bit
// 0x20000. Replies and notifications (kind 0; notification 1 gives "IMCN")
// carry every field their bits announce, as DecodeFrame reads them.
//
// Returns ImcErrNone; ImcErrMalformed when a part is missing (bindings
// without an SNMP header, a flagged block that is absent, bit 0x80000000
// without bindings) or a binding cannot be written (unknown type, bad OID);
// ImcErrEncode when the frame does not fit; ImcErrNoMemory. On failure
// `frame` holds no buffer.
int EncodeFrame(ImcMessage& message, ImcBuffer& frame, ImcClock clock = nullptr);

// Parses one frame from frame.position to frame.limit. Returns ImcErrNone and
// a new message in `message`, or ImcErrMalformed / ImcErrNoMemory and a null
// `message`. Never reads outside the buffer, whatever the bytes say.
int DecodeFrame(ImcBuffer& frame, std::unique_ptr<ImcMessage>& message);

}  // namespace holv
