#include "imc/ImcConversation.h"

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
    uint32_t deadline = ImcDeadline(GetTickCount(), ImcWaitLength(request.flags));
    int result;
    for (;;) {
        std::unique_ptr<ImcMessage> message;
        result = ReceiveFrame(c, message);
        if (result != ImcErrNone) {
            if (GetTickCount() >= deadline || result != ImcErrTimeout) break;
            continue;
        }
        if (message->kind == 1) continue;  // our own broadcast, or another host's
        if (message->notification) {
            ImcTransportPostNotify(c.transport);
            continue;
        }
        if (ImcReplyMatches(request, *message)) {
            answer = std::move(message);
            break;
        }
    }
    ImcTransportResumeNotify(c.transport);
    return result;
}

}  // namespace

std::unique_ptr<ImcConversation> ImcConversationCreate() {
    auto c = std::make_unique<ImcConversation>();
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
    int requestId = c.requestCounter++;
    if (ImcWantsLongWait(c.target != kImcNoTarget, c.targetEverSet != 0, requestId)) m.flags |= ImcFlagLongWait;
    m.kind = 1;
    if (m.varBinds && !m.pdu) {
        m.pdu = std::make_unique<ImcPdu>();
        m.pdu->type = ImcPduGetRequest;
    }
    if (m.pdu) m.pdu->requestId = requestId;
    ImcTransportSuspendNotify(c.transport);
    return EncodeAndSend(c);
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
        if (rc != ImcErrNone) return rc;
        result = WaitOnce(c, reply);
    }
    return result;
}

}  // namespace holv
