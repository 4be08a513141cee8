#include "imc/ImcConversation.h"

#include <new>

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

// One datagram that decodes, or the transport's error.
int ReceiveFrame(ImcConversation& c, std::unique_ptr<ImcMessage>& message) {
    for (;;) {
        ImcBuffer frame;
        uint32_t sender = 0;
        int rc = ImcTransportReceive(c.transport, frame, sender);
        if (rc != ImcErrNone) return rc;
        if (DecodeFrame(frame, message) == ImcErrNone) {
            message->sourceIp = sender;
            return ImcErrNone;
        }
    }
}

int WaitOnce(ImcConversation& c, std::unique_ptr<ImcMessage>& answer) {
    const ImcMessage& request = *c.lastRequest;
    uint32_t waitLength = ImcWaitLength(request.flags);
    uint32_t start = GetTickCount();
    uint32_t deadline = ImcDeadline(start, waitLength);
    int result;
    for (;;) {
        std::unique_ptr<ImcMessage> message;
        result = ReceiveFrame(c, message);
        if (result != ImcErrNone) {
            if (ImcWaitOver(GetTickCount(), start, deadline, waitLength) || result != ImcErrTimeout) break;
            continue;
        }
        if (message->notification) {
            ImcTransportPostNotify(c.transport);
        } else if (message->kind == 0 && ImcReplyMatches(request, *message)) {
            answer = std::move(message);
            break;
        }
        // Commands (our own broadcasts come back to us), notifications and
        // replies to something else do not end the wait, but neither may a
        // steady stream of them stretch it past its deadline: an appliance
        // that keeps notifying would otherwise hold the window's thread.
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
