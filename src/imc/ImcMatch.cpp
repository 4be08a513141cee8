#include "imc/ImcMatch.h"

#include <cstring>

#include "imc/ImcMessage.h"

namespace holv {

uint32_t ImcWaitLength(uint32_t flags) {
    if (!(flags & ImcFlagLongWait)) return 30;
    return (flags & ImcFlagBlock128) ? 5000 : 1000;
}

uint32_t ImcDeadline(uint32_t now, uint32_t waitLength) {
    uint32_t deadline = now + waitLength;
    return deadline < now ? waitLength : deadline;
}

bool ImcReplyMatches(const ImcMessage& request, const ImcMessage& reply) {
    static const uint8_t kAny[6] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
    if (std::memcmp(request.mac, kAny, 6) != 0 && std::memcmp(request.mac, reply.mac, 6) != 0) return false;
    if (((request.flags ^ reply.flags) & kImcAnswerMask) != 0) return false;
    if (!reply.pdu) return true;
    int32_t requestId = request.pdu ? request.pdu->requestId : 0;
    return reply.pdu->type == ImcPduGetResponse && reply.pdu->requestId == requestId;
}

bool ImcWantsLongWait(bool targetSet, bool targetEverSet, int requestId) {
    return targetSet || (targetEverSet && (requestId & 1));
}

}  // namespace holv
