// libFuzzer target: DecodeFrame on arbitrary bytes. Beyond the sanitizers'
// checks it asserts the codec's own promises: a result is either a message or
// a code, never both; and a decoded message encodes to a frame that decodes
// again and comes back to the same bytes (the binding list reverses on every
// re-encoding, so two cycles restore the order).
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>

#include "imc/ImcBuffer.h"
#include "imc/ImcCodes.h"
#include "imc/ImcFrame.h"

namespace {

using namespace holv;

uint32_t FixedClock() {
    return 0x5F5E1000;
}

void Require(bool condition) {
    if (!condition) __builtin_trap();
}

// Decodes `frame` and encodes the result; false when either step fails.
bool Cycle(const ImcBuffer& frame, ImcBuffer& out) {
    ImcBuffer in;
    Require(ImcBufferAssign(in, ImcBufferData(frame), ImcBufferRemaining(frame)) == ImcErrNone);
    std::unique_ptr<ImcMessage> m;
    if (DecodeFrame(in, m) != ImcErrNone) return false;
    return EncodeFrame(*m, out, FixedClock) == ImcErrNone;
}

bool SameBytes(const ImcBuffer& a, const ImcBuffer& b) {
    return ImcBufferRemaining(a) == ImcBufferRemaining(b) &&
           std::memcmp(ImcBufferData(a), ImcBufferData(b), static_cast<size_t>(ImcBufferRemaining(a))) == 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 1 << 20) return 0;
    ImcBuffer buffer;
    Require(ImcBufferAssign(buffer, data, static_cast<int>(size)) == ImcErrNone);
    std::unique_ptr<ImcMessage> message;
    int rc = DecodeFrame(buffer, message);
    Require(rc == ImcErrNone || rc == ImcErrMalformed);
    Require((rc == ImcErrNone) == (message != nullptr));
    Require(buffer.position >= 0 && buffer.position <= buffer.limit);
    if (!message) return 0;

    // Encoding may refuse what decoding accepted (too big for a frame, a
    // command whose 0x20000 block was not read); what it writes must hold.
    ImcBuffer first;
    rc = EncodeFrame(*message, first, FixedClock);
    Require(rc == ImcErrNone || rc == ImcErrEncode || rc == ImcErrMalformed);
    if (rc != ImcErrNone) return 0;
    ImcBuffer second, third;
    Require(Cycle(first, second));
    Require(Cycle(second, third));
    Require(SameBytes(first, third));
    return 0;
}
