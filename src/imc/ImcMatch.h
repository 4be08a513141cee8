// The conversation's pure rules: which reply answers which request, how long
// to wait for it, and what a result means to the callers.
#pragma once
#include <cstddef>
#include <cstdint>

namespace holv {

struct ImcMessage;

// Flag bits a reply must echo: 0x2..0x400, 0x10000, 0x40000, 0x80000 and
// 0x80000000. The others (0x20000 and 0x40000000 among them) carry news.
inline constexpr uint32_t kImcAnswerMask = 0x800D07FE;

// 30 ms without bit 0x2, 1000 ms with it, 5000 ms with 0x2 and 0x40000.
uint32_t ImcWaitLength(uint32_t requestFlags);

// Deadline for a wait that starts at `now` (a 32-bit millisecond tick); a
// sum that wraps gives the wait length itself.
uint32_t ImcDeadline(uint32_t now, uint32_t waitLength);

// Whether a wait that began at `start` with `deadline` from ImcDeadline is
// over at `now`: the deadline is reached, or the wait length has elapsed. The
// second test keeps a wait whose deadline lies just below the wrap of the
// tick count from lasting until the count comes round again (49.7 days).
bool ImcWaitOver(uint32_t now, uint32_t start, uint32_t deadline, uint32_t waitLength);

// Whether a decoded reply frame answers the request: MAC (unless the request
// went to any appliance), echoed flag bits, and for SNMP answers a
// GetResponse with the request's id.
bool ImcReplyMatches(const ImcMessage& request, const ImcMessage& reply);

// Whether a reply's sender may answer at all. While no target is known any
// address may (discovery is by broadcast); once one is, only the target: the
// MAC and request-id are no secret to a host on the same segment, and what
// the answer says is carried out with the program's rights. Frames off the
// VM's pipe count whatever address they carry.
bool ImcSenderAccepted(uint32_t target, uint32_t sender, bool viaPipe);

// One row of the host's neighbour table: an IPv4 address (network order),
// the interface it was learnt on and its link-layer address.
struct ImcNeighbour {
    uint32_t address = 0;
    uint32_t interfaceIndex = 0;
    uint8_t linkAddress[8] = {};
    uint32_t linkLength = 0;
    bool valid = true;  // false for an entry the system marks invalid
};

// Whether the link vouches for a sender while no target is known: the
// neighbour table holds, for that address on the interface the answer came
// in on, the appliance's MAC. A MAC copied from our own broadcast proves
// nothing; the card's address is what a real VM cannot help carrying. An
// unknown interface (0), an unset MAC (all zero or all ones) or an entry
// still unresolved never vouches.
bool ImcLinkVouches(const ImcNeighbour* rows, size_t count, uint32_t sender, uint32_t interfaceIndex,
                    const uint8_t mac[6]);

// Bit 0x2 for a request: always once a target is known; with none known,
// every other request once any target was ever set.
bool ImcWantsLongWait(bool targetSet, bool targetEverSet, int requestId);

// An internal code (ImcCodes.h) or an SNMP error-status as the callers see
// it: 0 -> 0; 2, 3, 4 -> 1 (refused); 6 -> 2 (no access); 20 -> 5 (no
// memory); anything else -> 3 (failed).
int ImcMapResult(int internal);

}  // namespace holv
