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
const uint8_t kOtherMac[6] = {0x00, 0x0C, 0x29, 0x12, 0x34, 0x57};

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

TEST(ImcReplyMatch, EchoedSnmpAnswerIsAccepted) {
    ImcMessage request = SnmpRequest();
    EXPECT_TRUE(ImcReplyMatches(request, SnmpReply(request)));
}

TEST(ImcReplyMatch, BitsOutsideTheMaskMayDiffer) {
    ImcMessage request = StatusRequest(kMac);
    for (uint32_t bit : {0x1u, 0x800u, 0x8000u, 0x20000u, 0x100000u, 0x40000000u}) {
        EXPECT_TRUE(ImcReplyMatches(request, StatusReply(request.flags | bit))) << std::hex << bit;
    }
    EXPECT_TRUE(ImcReplyMatches(request, StatusReply(request.flags | 0x20000 | 0x40000000)));
}

TEST(ImcReplyMatch, EveryBitUnderTheMaskMustBeEchoed) {
    ImcMessage request = StatusRequest(kMac);
    for (int i = 0; i < 32; ++i) {
        uint32_t bit = 1u << i;
        if (!(kImcAnswerMask & bit)) continue;
        EXPECT_FALSE(ImcReplyMatches(request, StatusReply(request.flags ^ bit))) << std::hex << bit;
    }
    EXPECT_EQ(kImcAnswerMask, 0x800D07FEu);
}

TEST(ImcReplyMatch, MacMustMatchUnlessTheRequestWentToAnyAppliance) {
    ImcMessage toOne = StatusRequest(kMac);
    EXPECT_TRUE(ImcReplyMatches(toOne, StatusReply(toOne.flags, kMac)));
    EXPECT_FALSE(ImcReplyMatches(toOne, StatusReply(toOne.flags, kOtherMac)));
    const uint8_t any[6] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
    ImcMessage toAny = StatusRequest(any);
    EXPECT_TRUE(ImcReplyMatches(toAny, StatusReply(toAny.flags, kMac)));
    EXPECT_TRUE(ImcReplyMatches(toAny, StatusReply(toAny.flags, kOtherMac)));
}

TEST(ImcReplyMatch, SnmpAnswerMustBeAGetResponseWithTheRequestId) {
    ImcMessage request = SnmpRequest();
    ImcMessage late = SnmpReply(request);
    late.pdu->requestId = 6;  // the answer to the previous request
    EXPECT_FALSE(ImcReplyMatches(request, late));
    ImcMessage ahead = SnmpReply(request);
    ahead.pdu->requestId = 8;
    EXPECT_FALSE(ImcReplyMatches(request, ahead));
    for (uint8_t type : {ImcPduGetRequest, ImcPduGetNextRequest, ImcPduSetRequest, uint8_t{0xF0}}) {
        ImcMessage wrongType = SnmpReply(request);
        wrongType.pdu->type = type;
        EXPECT_FALSE(ImcReplyMatches(request, wrongType)) << int(type);
    }
}

TEST(ImcReplyMatch, ReplyWithoutTheSnmpBitIsIgnoredWhenTheRequestHadBindings) {
    ImcMessage request = SnmpRequest();
    ImcMessage bare = StatusReply(request.flags & ~ImcFlagSnmp);
    EXPECT_FALSE(ImcReplyMatches(request, bare));
}

TEST(ImcReplyMatch, SnmpAnswerToARequestWithoutBindingsIsIgnored) {
    ImcMessage request = StatusRequest(kMac);
    ImcMessage reply = SnmpReply(request);
    reply.flags |= ImcFlagSnmp;
    EXPECT_FALSE(ImcReplyMatches(request, reply));
}

TEST(ImcWait, LengthsFollowBits2And40000) {
    EXPECT_EQ(ImcWaitLength(0x380), 30u);
    EXPECT_EQ(ImcWaitLength(0x40000), 30u);  // 0x40000 alone does not lengthen
    EXPECT_EQ(ImcWaitLength(0x382), 1000u);
    EXPECT_EQ(ImcWaitLength(0x80000002), 1000u);
    EXPECT_EQ(ImcWaitLength(0x40002), 5000u);
    EXPECT_EQ(ImcWaitLength(0xFFFFFFFF), 5000u);
}

TEST(ImcWait, DeadlineThatWrapsIsTheWaitLengthItself) {
    EXPECT_EQ(ImcDeadline(1000, 30), 1030u);
    EXPECT_EQ(ImcDeadline(0xFFFFFFFFu - 1000, 1000), 0xFFFFFFFFu);  // just fits
    EXPECT_EQ(ImcDeadline(0xFFFFFFFFu - 999, 1000), 1000u);         // wraps by one
    EXPECT_EQ(ImcDeadline(0xFFFFFFF0u, 5000), 5000u);
}

TEST(ImcWait, WaitIsOverAtTheDeadline) {
    uint32_t start = 5000, deadline = ImcDeadline(start, 1000);
    EXPECT_FALSE(ImcWaitOver(start, start, deadline, 1000));
    EXPECT_FALSE(ImcWaitOver(5999, start, deadline, 1000));
    EXPECT_TRUE(ImcWaitOver(6000, start, deadline, 1000));
    EXPECT_TRUE(ImcWaitOver(6100, start, deadline, 1000));
}

TEST(ImcWait, WrappedDeadlineEndsTheWaitAtTheFirstLook) {
    uint32_t start = 0xFFFFFF00u, deadline = ImcDeadline(start, 1000);
    ASSERT_EQ(deadline, 1000u);
    EXPECT_TRUE(ImcWaitOver(start + 100, start, deadline, 1000));
}

TEST(ImcWait, TickCountWrappingDuringTheWaitDoesNotStretchIt) {
    // The deadline fits just below the wrap; the next look comes after it.
    uint32_t start = 0xFFFFFC00u, deadline = ImcDeadline(start, 1000);
    ASSERT_EQ(deadline, 0xFFFFFFE8u);
    EXPECT_FALSE(ImcWaitOver(0xFFFFFFE0u, start, deadline, 1000));
    EXPECT_TRUE(ImcWaitOver(0x44u, start, deadline, 1000));  // 100 ms later, wrapped
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
    EXPECT_EQ(ImcMapResult(0), 0);
    EXPECT_EQ(ImcMapResult(2), 1);
    EXPECT_EQ(ImcMapResult(3), 1);
    EXPECT_EQ(ImcMapResult(4), 1);
    EXPECT_EQ(ImcMapResult(6), 2);
    EXPECT_EQ(ImcMapResult(ImcErrNoMemory), 5);
    for (int other : {1, 5, 7, 19, 21, 22, -1, 100}) EXPECT_EQ(ImcMapResult(other), 3) << other;
}

}  // namespace
}  // namespace holv
