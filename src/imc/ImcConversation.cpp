#include "imc/ImcConversation.h"

#include <new>

// clang-format off
#include <windows.h>
#include <ntsecapi.h>  // RtlGenRandom
// clang-format on

#include "imc/ImcCodes.h"
#include "imc/ImcFrame.h"
#include "imc/ImcMatch.h"

namespace holv {
namespace {

int EncodeAndSend(ImcConversation& c) {
    ImcBuffer frame;
    int rc = EncodeFrame(*c.lastRequest, frame);
    if (rc != ImcErrNone) return rc;
    return ImcTransportSend(c.transport, ImcBufferData(frame), ImcBufferRemaining(frame));
}

// One datagram: ImcErrNone and the frame, ImcErrMalformed for one that does
// not decode, or the transport's error. One at a time, so that the wait looks
// at its deadline after every datagram, junk included.
int ReceiveFrame(ImcConversation& c, std::unique_ptr<ImcMessage>& message, bool& viaPipe, uint32_t& interfaceIndex) {
    ImcBuffer frame;
    uint32_t sender = 0;
    int rc = ImcTransportReceive(c.transport, frame, sender, viaPipe, interfaceIndex);
    if (rc != ImcErrNone) return rc;
    if (DecodeFrame(frame, message) != ImcErrNone) return ImcErrMalformed;
    message->sourceIp = sender;
    return ImcErrNone;
}

// Before a target is known, any host the broadcast reaches could answer with
// the MAC it read from it; the neighbour table must vouch for the sender too
// (looked at last: it costs a table read).
bool IsAnswer(const ImcConversation& c, const ImcMessage& message, bool viaPipe, uint32_t interfaceIndex) {
    return message.kind == 0 && !message.notification && ImcSenderAccepted(c.target, message.sourceIp, viaPipe) &&
           ImcReplyMatches(*c.lastRequest, message) &&
           (viaPipe || c.target != kImcNoTarget ||
            ImcTransportLinkVouches(message.sourceIp, interfaceIndex, c.lastRequest->mac));
}

// Request ids start where no host on the network can guess them.
int RandomRequestStart() {
    uint32_t value = 0;
    if (!RtlGenRandom(&value, sizeof value)) value = GetTickCount() ^ (GetCurrentProcessId() << 16);
    return static_cast<int>(value & 0x3FFFFFFF);  // far from the wrap
}

// Waits for the answer until the deadline, whatever else arrives meanwhile:
// junk, commands (our own broadcasts come back to us), notifications, replies
// from other hosts or to other requests. None of them ends the wait, and none
// may stretch it: a host that keeps sending would otherwise hold the window's
// thread for as long as it likes.
int WaitOnce(ImcConversation& c, std::unique_ptr<ImcMessage>& answer) {
    uint32_t waitLength = ImcWaitLength(c.lastRequest->flags);
    uint32_t start = GetTickCount();
    uint32_t deadline = ImcDeadline(start, waitLength);
    int result;
    for (;;) {
        std::unique_ptr<ImcMessage> message;
        bool viaPipe = false;
        uint32_t interfaceIndex = 0;
        result = ReceiveFrame(c, message, viaPipe, interfaceIndex);
        if (result == ImcErrNone && IsAnswer(c, *message, viaPipe, interfaceIndex)) {
            answer = std::move(message);
            break;
        }
        if (result == ImcErrNone && message->notification) ImcTransportPostNotify(c.transport);
        if (result != ImcErrNone && result != ImcErrTimeout && result != ImcErrMalformed) break;
        if (ImcWaitOver(GetTickCount(), start, deadline, waitLength)) {
            result = ImcErrTimeout;
            break;
        }
    }
    ImcTransportResumeNotify(c.transport);
    return result;
}

}  // namespace

std::unique_ptr<ImcConversation> ImcConversationCreate() {
    std::unique_ptr<ImcConversation> c(new (std::nothrow) ImcConversation);
    if (!c) return c;
    c->requestCounter = RandomRequestStart();
    ImcTransportOpen(c->transport, kImcNoTarget);
    return c;
}

void ImcConversationDestroy(std::unique_ptr<ImcConversation>& c) {
    if (!c) return;
    ImcTransportClose(c->transport);
    c.reset();
}

void ImcConversationSetTarget(ImcConversation& c, uint32_t address) {
    c.target = address;
    ImcTransportSetTarget(c.transport, address);
    c.targetEverSet = 1;
}

int ImcConversationSendRequest(ImcConversation& c, std::unique_ptr<ImcMessage> message) {
    c.lastRequest = std::move(message);
    ImcMessage& m = *c.lastRequest;
    int requestId = c.requestCounter;
    // Wraps instead of overflowing; the parity rule goes on unchanged.
    c.requestCounter = static_cast<int>(static_cast<uint32_t>(requestId) + 1u);
    if (ImcWantsLongWait(c.target != kImcNoTarget, c.targetEverSet != 0, requestId)) m.flags |= ImcFlagLongWait;
    m.kind = 1;
    if (m.varBinds && !m.pdu) {
        m.pdu = std::make_unique<ImcPdu>();
        m.pdu->type = ImcPduGetRequest;
    }
    if (m.pdu) m.pdu->requestId = requestId;
    ImcTransportSuspendNotify(c.transport);
    int rc = EncodeAndSend(c);
    // No wait follows a failed send, and the wait is what resumes the
    // window's notifications: resume them here, or the window would hear
    // nothing more until the next request.
    if (rc != ImcErrNone) ImcTransportResumeNotify(c.transport);
    return rc;
}

int ImcConversationWaitAnswer(ImcConversation& c, std::unique_ptr<ImcMessage>& reply) {
    if (!c.lastRequest) return ImcErrMalformed;
    int attempts = c.target != kImcNoTarget ? 2 : 1;
    int result = WaitOnce(c, reply);
    while (result == ImcErrTimeout) {
        if (--attempts == 0) return ImcErrTimeout;
        // The appliance went quiet: new sockets on its subnets, and the same
        // request once more, by broadcast.
        ImcTransportReopen(c.transport);
        int rc = EncodeAndSend(c);
        if (rc != ImcErrNone) {
            ImcTransportResumeNotify(c.transport);  // the new sockets, as above
            return rc;
        }
        result = WaitOnce(c, reply);
    }
    return result;
}

}  // namespace holv
