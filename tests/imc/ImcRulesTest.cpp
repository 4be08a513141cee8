// The conversation's pure rules: which reply answers which request, how long
// a request waits, the deadline and the alternating long wait.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <iterator>
#include <memory>

#include "imc/ImcCodes.h"
#include "imc/ImcMatch.h"
#include "imc/ImcMessage.h"

namespace holv {
namespace {

const uint8_t kMac[6] = {0x00, 0x0C, 0x29, 0x12, 0x34, 0x56};

// A status query to `mac`, or a GetRequest as the conversation leaves it
// after encoding: bit 0x2, the SNMP bit, request-id 7.
ImcMessage Request(const uint8_t* mac, bool snmp) {
    ImcMessage m;
    std::memcpy(m.mac, mac, 6);
    m.flags = ImcFlagDeviceName | ImcFlagProductName | ImcFlagFirmware;
    if (!snmp) return m;
    m.flags = ImcFlagLongWait | ImcFlagSnmp;
    EXPECT_EQ(ImcSetCommunity(m, "", ""), ImcErrNone);
    EXPECT_EQ(ImcAddVarBind(m, 512, 640, ImcTagNull, nullptr, 0), ImcErrNone);
    m.pdu->requestId = 7;
    return m;
}

// The appliance's answer to `request`, changed by `change`.
ImcMessage Reply(const ImcMessage& request, const std::function<void(ImcMessage&)>& change = nullptr) {
    ImcMessage r;
    r.kind = 0;
    std::memcpy(r.mac, kMac, 6);
    r.flags = request.flags;
    if (request.pdu) {
        r.pdu = std::make_unique<ImcPdu>();
        r.pdu->type = ImcPduGetResponse;
        r.pdu->requestId = request.pdu->requestId;
    }
    if (change) change(r);
    return r;
}

TEST(ImcReplyMatch, WhichReplyAnswersWhichRequest) {
    const uint8_t any[6] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
    const ImcMessage snmp = Request(kMac, true), toOne = Request(kMac, false), toAny = Request(any, false);
    struct Case {
        const char* what;
        const ImcMessage& request;
        ImcMessage reply;
        bool matches;
    };
    const Case cases[] = {
        {"the echoed SNMP answer", snmp, Reply(snmp), true},
        {"news bits outside the mask", toOne, Reply(toOne, [](ImcMessage& r) { r.flags |= 0x40020000; }), true},
        {"another appliance", toOne, Reply(toOne, [](ImcMessage& r) { r.mac[5] ^= 1; }), false},
        {"any appliance asked", toAny, Reply(toAny, [](ImcMessage& r) { r.mac[5] = 0x57; }), true},
        {"the previous request's answer", snmp, Reply(snmp, [](ImcMessage& r) { r.pdu->requestId = 6; }), false},
        {"a GetRequest back", snmp, Reply(snmp, [](ImcMessage& r) { r.pdu->type = ImcPduGetRequest; }), false},
        {"PDU type F0", snmp, Reply(snmp, [](ImcMessage& r) { r.pdu->type = 0xF0; }), false},
        {"no SNMP part to a request with bindings", snmp,
         Reply(snmp,
               [](ImcMessage& r) {
                   r.flags &= ~ImcFlagSnmp;
                   r.pdu.reset();
               }),
         false},
        {"SNMP to a request without bindings", toOne,
         Reply(snmp, [](ImcMessage& r) { r.flags = Request(kMac, false).flags | ImcFlagSnmp; }), false},
    };
    for (const Case& c : cases) EXPECT_EQ(ImcReplyMatches(c.request, c.reply), c.matches) << c.what;
    // Every bit under the mask must be echoed; the others may differ.
    for (int i = 0; i < 32; ++i) {
        const uint32_t bit = 1u << i;
        EXPECT_EQ(ImcReplyMatches(toOne, Reply(toOne, [bit](ImcMessage& r) { r.flags ^= bit; })), !(0x800D07FEu & bit))
            << std::hex << bit;
    }
}

// Once the appliance's address is known, a reply from any other host is no
// answer, however well it echoes MAC, flags and request-id.
TEST(ImcReplyMatch, OnlyTheTargetAnswersOnceKnown) {
    const uint32_t none = 0xFFFFFFFF, appliance = 0x0A00A8C0, impostor = 0x0B00A8C0;
    struct Case {
        uint32_t target, sender;
        bool viaPipe, accepted;
    };
    const Case cases[] = {
        {none, impostor, false, true},       {none, appliance, false, true},  {appliance, appliance, false, true},
        {appliance, impostor, false, false}, {appliance, none, false, false}, {appliance, 0, false, false},
        {appliance, impostor, true, true},  // the VM's own pipe
    };
    for (const Case& c : cases)
        EXPECT_EQ(ImcSenderAccepted(c.target, c.sender, c.viaPipe), c.accepted)
            << std::hex << c.target << " " << c.sender;
}

// Before a target is known, only the neighbour table speaks for a sender: the
// appliance's MAC learnt for that address on the interface of arrival.
TEST(ImcReplyMatch, TheLinkVouchesBeforeATarget) {
    const uint32_t appliance = 0x0200580A, impostor = 0x0300580A;
    const uint8_t other[6] = {0x02, 0x11, 0x22, 0x33, 0x44, 0x55}, zero[6] = {};
    auto row = [](uint32_t address, uint32_t index, const uint8_t* mac, uint32_t length = 6, bool valid = true) {
        ImcNeighbour n;
        n.address = address, n.interfaceIndex = index, n.linkLength = length, n.valid = valid;
        std::memcpy(n.linkAddress, mac, 6);
        return n;
    };
    const ImcNeighbour table[] = {row(appliance, 4, kMac),     row(impostor, 4, other),
                                  row(appliance, 7, other),    row(impostor, 9, kMac, 6, false),
                                  row(0x0500580A, 4, kMac, 0), row(0x0700580A, 4, zero)};  // incomplete: zeros
    struct Case {
        uint32_t sender, index;
        const uint8_t* mac;
        bool vouches;
    };
    const Case cases[] = {
        {appliance, 4, kMac, true},   {impostor, 4, kMac, false},    // its own card's address
        {appliance, 7, kMac, false},                                 // the address, but on another link
        {appliance, 0, kMac, false},  {impostor, 9, kMac, false},    // arrival unknown; an invalid entry
        {0x0500580A, 4, kMac, false}, {0x0600580A, 4, kMac, false},  // unresolved; no entry
        {appliance, 7, other, true},  {0x0700580A, 4, zero, false},  // ... an unset MAC never matches
    };
    for (const Case& c : cases)
        EXPECT_EQ(ImcLinkVouches(table, std::size(table), c.sender, c.index, c.mac), c.vouches)
            << std::hex << c.sender << " if " << c.index;
}

// A deadline past the tick count's wrap is the wait length itself, so the
// wait ends at the first look; one just below it is kept.
TEST(ImcWait, DeadlinesAndTheWrap) {
    EXPECT_EQ(ImcDeadline(1000, 30), 1030u);
    EXPECT_EQ(ImcDeadline(0xFFFFFFFFu - 1000, 1000), 0xFFFFFFFFu);
    EXPECT_EQ(ImcDeadline(0xFFFFFFFFu - 999, 1000), 1000u);
    struct Case {
        uint32_t now, start, ms;
        bool over;
    };
    const Case cases[] = {
        {5000, 5000, 1000, false},
        {5999, 5000, 1000, false},
        {6000, 5000, 1000, true},
        {6100, 5000, 1000, true},
        {0xFFFFFF64u, 0xFFFFFF00u, 1000, true},
        {0xFFFFFFE0u, 0xFFFFFC00u, 1000, false},
        {0x44u, 0xFFFFFC00u, 1000, true},  // wrapped meanwhile
    };
    for (const Case& c : cases)
        EXPECT_EQ(ImcWaitOver(c.now, c.start, ImcDeadline(c.start, c.ms), c.ms), c.over) << std::hex << c.now;
}

// Never a target: every request waits short. A target was set once and is
// none now: only odd request-ids wait long (also past INT_MAX). A known
// target: always.
TEST(ImcWait, LongWaitBitAlternatesOnlyAfterATargetWasEverSet) {
    const struct {
        bool target, everSet;
        int ids[4];
        bool longWait[4];
    } cases[] = {
        {false, false, {0, 1, 2, 3}, {false, false, false, false}},
        {false, true, {0, 1, 2, -1}, {false, true, false, true}},
        {true, true, {0, 1, 2, 3}, {true, true, true, true}},
    };
    for (const auto& c : cases)
        for (int i = 0; i < 4; ++i)
            EXPECT_EQ(ImcWantsLongWait(c.target, c.everSet, c.ids[i]), c.longWait[i]) << c.target << c.ids[i];
}

}  // namespace
}  // namespace holv
