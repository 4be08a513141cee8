#include "imc/ImcMatch.h"

#include <cstring>

#include "imc/ImcCodes.h"
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

bool ImcWaitOver(uint32_t now, uint32_t start, uint32_t deadline, uint32_t waitLength) {
    return now >= deadline || static_cast<uint32_t>(now - start) >= waitLength;
}

bool ImcReplyMatches(const ImcMessage& request, const ImcMessage& reply) {
    static const uint8_t kAny[6] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
    if (std::memcmp(request.mac, kAny, 6) != 0 && std::memcmp(request.mac, reply.mac, 6) != 0) return false;
    if (((request.flags ^ reply.flags) & kImcAnswerMask) != 0) return false;
    if (!reply.pdu) return true;
    int32_t requestId = request.pdu ? request.pdu->requestId : 0;
    return reply.pdu->type == ImcPduGetResponse && reply.pdu->requestId == requestId;
}

bool ImcSenderAccepted(uint32_t target, uint32_t sender, bool viaPipe) {
    return viaPipe || target == 0xFFFFFFFFu || sender == target;  // all ones: no target
}

bool ImcLinkVouches(const ImcNeighbour* rows, size_t count, uint32_t sender, uint32_t interfaceIndex,
                    const uint8_t mac[6]) {
    static const uint8_t kZero[6] = {}, kAll[6] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
    if (interfaceIndex == 0 || std::memcmp(mac, kZero, 6) == 0 || std::memcmp(mac, kAll, 6) == 0) return false;
    for (size_t i = 0; i < count; ++i) {
        const ImcNeighbour& row = rows[i];
        if (row.valid && row.address == sender && row.interfaceIndex == interfaceIndex && row.linkLength == 6 &&
            std::memcmp(row.linkAddress, mac, 6) == 0)
            return true;
    }
    return false;
}

bool ImcWantsLongWait(bool targetSet, bool targetEverSet, int requestId) {
    return targetSet || (targetEverSet && (requestId & 1));
}

int ImcMapResult(int r) {
    switch (r) {
        case ImcErrNone: return 0;
        case 2:
        case 3:
        case 4: return 1;
        case 6: return 2;
        case ImcErrNoMemory: return 5;
        default: return 3;
    }
}

}  // namespace holv
