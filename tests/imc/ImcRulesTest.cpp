// The conversation's pure rules: which reply answers which request, how long
// a request waits, the deadline, the alternating long wait, and what an
// internal result means to the callers.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include "imc/ImcCodes.h"
#include "imc/ImcMatch.h"
#include "imc/ImcMessage.h"

namespace holv {
namespace {

const uint8_t kMac[6] = {0x00, 0x0C, 0x29, 0x12, 0x34, 0x56};

// A GetRequest as the conversation leaves it after encoding: bit 0x2, the
// SNMP bit, request-id 7.
ImcMessage SnmpRequest(const uint8_t* mac = kMac) {
    ImcMessage m;
    if (mac) std::memcpy(m.mac, mac, 6);
    m.flags = ImcFlagLongWait | ImcFlagSnmp;
    EXPECT_EQ(ImcSetCommunity(m, "", ""), ImcErrNone);
    EXPECT_EQ(ImcAddVarBind(m, 512, 640, ImcTagNull, nullptr, 0), ImcErrNone);
    m.pdu->requestId = 7;
    return m;
}

// The appliance's answer to it.
ImcMessage SnmpReply(const ImcMessage& request) {
    ImcMessage r;
    r.kind = 0;
    std::memcpy(r.mac, kMac, 6);
    r.flags = request.flags;
    r.pdu = std::make_unique<ImcPdu>();
    r.pdu->type = ImcPduGetResponse;
    r.pdu->requestId = request.pdu ? request.pdu->requestId : 0;
    return r;
}

ImcMessage StatusRequest(const uint8_t* mac) {
    ImcMessage m;
    std::memcpy(m.mac, mac, 6);
    m.flags = ImcFlagDeviceName | ImcFlagProductName | ImcFlagFirmware;
    return m;
}

ImcMessage StatusReply(uint32_t flags, const uint8_t* mac = kMac) {
    ImcMessage r;
    r.kind = 0;
    std::memcpy(r.mac, mac, 6);
    r.flags = flags;
    return r;
}

TEST(ImcReplyMatch, WhichReplyAnswersWhichRequest) {
    const uint8_t any[6] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
    const ImcMessage snmp = SnmpRequest(), toOne = StatusRequest(kMac), toAny = StatusRequest(any);
    auto reply = [](const ImcMessage& request, auto change) {
        ImcMessage r = request.pdu ? SnmpReply(request) : StatusReply(request.flags);
        change(r);
        return r;
    };
    const auto same = [](ImcMessage&) {};
    struct Case {
        const char* what;
        const ImcMessage& request;
        ImcMessage reply;
        bool matches;
    };
    const Case cases[] = {
        {"the echoed SNMP answer", snmp, reply(snmp, same), true},
        {"news bits outside the mask", toOne, reply(toOne, [](ImcMessage& r) { r.flags |= 0x40020000; }), true},
        {"another appliance", toOne, reply(toOne, [](ImcMessage& r) { r.mac[5] ^= 1; }), false},
        {"any appliance asked", toAny, reply(toAny, [](ImcMessage& r) { r.mac[5] = 0x57; }), true},
        {"the previous request's answer", snmp, reply(snmp, [](ImcMessage& r) { r.pdu->requestId = 6; }), false},
        {"a later request-id", snmp, reply(snmp, [](ImcMessage& r) { r.pdu->requestId = 8; }), false},
        {"a GetRequest back", snmp, reply(snmp, [](ImcMessage& r) { r.pdu->type = ImcPduGetRequest; }), false},
        {"a SetRequest back", snmp, reply(snmp, [](ImcMessage& r) { r.pdu->type = ImcPduSetRequest; }), false},
        {"PDU type F0", snmp, reply(snmp, [](ImcMessage& r) { r.pdu->type = 0xF0; }), false},
        {"no SNMP bit to a request with bindings", snmp, StatusReply(snmp.flags & ~ImcFlagSnmp), false},
        {"SNMP to a request without bindings", toOne,
         reply(snmp, [](ImcMessage& r) { r.flags = StatusRequest(kMac).flags | ImcFlagSnmp; }), false},
    };
    for (const Case& c : cases) EXPECT_EQ(ImcReplyMatches(c.request, c.reply), c.matches) << c.what;
    // Every bit under the mask must be echoed; the others may differ.
    for (int i = 0; i < 32; ++i) {
        const uint32_t bit = 1u << i;
        EXPECT_EQ(ImcReplyMatches(toOne, StatusReply(toOne.flags ^ bit)), !(0x800D07FEu & bit)) << std::hex << bit;
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

TEST(ImcWait, LengthsFollowBits2And40000) {
    const std::pair<uint32_t, uint32_t> cases[] = {{0x380, 30},        {0x40000, 30},   {0x382, 1000},
                                                   {0x80000002, 1000}, {0x40002, 5000}, {0xFFFFFFFF, 5000}};
    for (auto [flags, ms] : cases) EXPECT_EQ(ImcWaitLength(flags), ms) << std::hex << flags;
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

TEST(ImcWait, LongWaitBitAlternatesOnlyAfterATargetWasEverSet) {
    // Never a target: every request waits 30 ms.
    for (int id = 0; id < 4; ++id) EXPECT_FALSE(ImcWantsLongWait(false, false, id)) << id;
    // A target was set once and is none now: ids 0,1,2,3 -> only odd ones.
    EXPECT_FALSE(ImcWantsLongWait(false, true, 0));
    EXPECT_TRUE(ImcWantsLongWait(false, true, 1));
    EXPECT_FALSE(ImcWantsLongWait(false, true, 2));
    EXPECT_TRUE(ImcWantsLongWait(false, true, 3));
    EXPECT_TRUE(ImcWantsLongWait(false, true, -1));  // the counter past INT_MAX stays alternating
    // A known target: always.
    for (int id = 0; id < 4; ++id) EXPECT_TRUE(ImcWantsLongWait(true, true, id)) << id;
}

TEST(ImcResultMapping, InternalCodesAndErrorStatusesAsTheCallersSeeThem) {
    const std::pair<int, int> cases[] = {{0, 0}, {2, 1}, {3, 1}, {4, 1},  {6, 2},  {ImcErrNoMemory, 5},
                                         {1, 3}, {5, 3}, {7, 3}, {19, 3}, {-1, 3}, {100, 3}};
    for (auto [code, mapped] : cases) EXPECT_EQ(ImcMapResult(code), mapped) << code;
}

}  // namespace
}  // namespace holv
