// Internal result codes of the appliance messaging layer. Every codec and
// transport operation returns one of these; the request operations map them
// to the callers' results, so the numbers are fixed.
#pragma once

namespace holv {

constexpr int ImcErrNone = 0;
constexpr int ImcErrEncode = 1;      // the SNMP part did not fit (buffer full)
constexpr int ImcErrMalformed = 5;   // bad frame or BER item, wrong type, part missing
constexpr int ImcErrNoMemory = 20;   // an allocation failed
constexpr int ImcErrTransport = 21;  // a datagram could not be sent or received
constexpr int ImcErrTimeout = 22;    // nothing arrived in time

}  // namespace holv
