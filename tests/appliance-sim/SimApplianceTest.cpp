// The simulated appliance's answers, checked the way the host reads them:
// frames built and parsed with the program's own codec, replies judged by
// the host's matching rule.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "SimAppliance.h"
#include "SimConfig.h"
#include "SimText.h"
#include "imc/ImcCodes.h"
#include "imc/ImcFrame.h"
#include "imc/ImcMessage.h"

using namespace holv;

namespace {

const uint8_t ApplianceMac[6] = {0x00, 0x0C, 0x29, 0xAA, 0xBB, 0xCC};

SimConfig Configured(const std::string& text) {
    SimConfig c = SimDefaultConfig();
    std::vector<std::string> warnings;
    SimParseConfig("mac=00:0c:29:aa:bb:cc\n" + text, c, warnings);
    EXPECT_TRUE(warnings.empty()) << warnings.front();
    return c;
}

std::vector<uint8_t> Encode(ImcMessage& m) {
    ImcBuffer b;
    EXPECT_EQ(EncodeFrame(m, b), ImcErrNone);
    if (!b.bytes) return {};
    return std::vector<uint8_t>(ImcBufferData(b), ImcBufferData(b) + ImcBufferRemaining(b));
}

std::unique_ptr<ImcMessage> Decode(const std::vector<uint8_t>& frame) {
    ImcBuffer b;
    std::unique_ptr<ImcMessage> m;
    if (ImcBufferAssign(b, frame.data(), static_cast<int>(frame.size())) != ImcErrNone) return nullptr;
    if (DecodeFrame(b, m) != ImcErrNone) return nullptr;
    return m;
}

// The host's rule: MAC, flag bits under the mask, GetResponse with the same
// request-id.
bool HostAccepts(const ImcMessage& request, const ImcMessage& reply) {
    bool anyMac = std::memcmp(request.mac, "\xFF\xFF\xFF\xFF\xFF\xFF", 6) == 0;
    if (reply.kind != 0 || reply.notification) return false;
    if (!anyMac && std::memcmp(request.mac, reply.mac, 6) != 0) return false;
    if ((request.flags ^ reply.flags) & 0x800D07FE) return false;
    if (!reply.pdu) return true;
    return reply.pdu->type == ImcPduGetResponse && request.pdu && reply.pdu->requestId == request.pdu->requestId;
}

struct Exchange {
    SimOutcome out;
    std::unique_ptr<ImcMessage> reply;
};

// Sends `request` to the appliance; the reply, when there is one, is decoded.
Exchange Send(const SimConfig& config, SimState& state, ImcMessage& request) {
    std::vector<uint8_t> frame = Encode(request);
    Exchange e;
    SimHandleDatagram(config, state, frame.data(), static_cast<int>(frame.size()), e.out);
    if (!e.out.reply.empty()) e.reply = Decode(e.out.reply);
    return e;
}

ImcMessage Get(uint32_t group, uint32_t item, int32_t requestId, uint32_t extraFlags = ImcFlagLongWait) {
    ImcMessage m;
    std::memcpy(m.mac, ApplianceMac, 6);
    m.flags = extraFlags;
    ImcSetCommunity(m, "", "");
    ImcAddVarBind(m, group, item, ImcTagNull, nullptr, 0);
    m.pdu->requestId = requestId;
    return m;
}

ImcMessage Status(uint32_t flags) {
    ImcMessage m;
    std::memcpy(m.mac, ApplianceMac, 6);
    m.flags = flags;
    return m;
}

std::string StringValue(const ImcMessage& reply) {
    if (!reply.varBinds || reply.varBinds->type != ImcTagOctetString) return "<not a string>";
    return std::string(reply.varBinds->bytes.begin(), reply.varBinds->bytes.end());
}

}  // namespace

TEST(SimAppliance, StatusQueryIsAnsweredSoTheHostAcceptsIt) {
    SimConfig c = Configured("device-name=box one\nproduct-name=Prod\nfirmware=1.2.3\nstatus-flags=0x40020000\n");
    SimState s;
    SimConfigLoaded(c, s);
    for (uint32_t flags : {0x380u, 0x382u}) {
        ImcMessage q = Status(flags);
        Exchange e = Send(c, s, q);
        ASSERT_TRUE(e.reply) << std::hex << flags;
        EXPECT_TRUE(HostAccepts(q, *e.reply));
        EXPECT_EQ(e.reply->flags, flags | 0x40020000u);
        EXPECT_EQ(e.reply->deviceName, "box one");
        EXPECT_EQ(e.reply->productName, "Prod");
        EXPECT_EQ(e.reply->firmware, "1.2.3");
        EXPECT_EQ(0, std::memcmp(e.reply->mac, ApplianceMac, 6));
    }
    // A broadcast query (MAC all FF) is answered too.
    ImcMessage any;
    any.flags = 0x380;
    Exchange e = Send(c, s, any);
    ASSERT_TRUE(e.reply);
    EXPECT_TRUE(HostAccepts(any, *e.reply));
    EXPECT_EQ(e.out.records, std::vector<std::string>{"status flags=0x00000380"});
}

TEST(SimAppliance, StatusFlagsInsideTheMatchMaskAreNotAdded) {
    // Such a bit would make every status reply one the host ignores.
    SimConfig c = Configured("status-flags=0x00000401\n");
    SimState s;
    ImcMessage q = Status(0x382);
    Exchange e = Send(c, s, q);
    ASSERT_TRUE(e.reply);
    EXPECT_EQ(e.reply->flags, 0x382u);
}

TEST(SimAppliance, CommandsForAnotherApplianceAreIgnoredAndRecorded) {
    SimConfig c = Configured("");
    SimState s;
    ImcMessage q = Status(0x380);
    q.mac[5] = 0x01;
    Exchange e = Send(c, s, q);
    EXPECT_TRUE(e.out.reply.empty());
    EXPECT_EQ(e.out.records, std::vector<std::string>{"foreign-mac 00:0c:29:aa:bb:01"});
    c.acceptAnyMac = true;
    e = Send(c, s, q);
    EXPECT_TRUE(e.reply);
}

TEST(SimAppliance, GetAnswersValuesErrorsAndOtherTypes) {
    SimConfig c = Configured(
        "serial=SER\\x20\\x41\ntrellisport=tp.example\ntrellisport.error=3\nrk=77\nrk.type=int\n"
        "var.100.7=10.1.2.3\nvar.100.7.type=ipaddress\n");
    SimState s;
    ImcMessage get = Get(512, 640, 41);
    Exchange e = Send(c, s, get);
    ASSERT_TRUE(e.reply);
    EXPECT_TRUE(HostAccepts(get, *e.reply));
    EXPECT_EQ(e.reply->flags, 0x80000002u);
    EXPECT_EQ(e.reply->pdu->errorStatus, 0);
    EXPECT_EQ(e.reply->pdu->community, ":");
    EXPECT_EQ(StringValue(*e.reply), "SER A");
    EXPECT_EQ(e.out.records, std::vector<std::string>{"get 512.640"});

    ImcMessage unknown = Get(0x1234, 0x99, 42);
    e = Send(c, s, unknown);
    ASSERT_TRUE(e.reply);
    EXPECT_TRUE(HostAccepts(unknown, *e.reply));
    EXPECT_EQ(e.reply->pdu->errorStatus, 2);
    EXPECT_EQ(e.reply->pdu->errorIndex, 1);
    ASSERT_TRUE(e.reply->varBinds);
    EXPECT_EQ(e.reply->varBinds->type, ImcTagNull);

    ImcMessage tp = Get(61440, 61456, 43);
    e = Send(c, s, tp);
    ASSERT_TRUE(e.reply);
    EXPECT_EQ(e.reply->pdu->errorStatus, 3);

    ImcMessage rk = Get(61440, 61457, 44);
    e = Send(c, s, rk);
    ASSERT_TRUE(e.reply && e.reply->varBinds);
    EXPECT_EQ(e.reply->pdu->errorStatus, 0);
    EXPECT_EQ(e.reply->varBinds->type, ImcTagInteger);
    EXPECT_EQ(e.reply->varBinds->number, 77);

    ImcMessage ip = Get(100, 7, 45);
    e = Send(c, s, ip);
    ASSERT_TRUE(e.reply && e.reply->varBinds);
    EXPECT_EQ(e.reply->varBinds->type, ImcTagIpAddress);
    EXPECT_EQ(0, std::memcmp(e.reply->varBinds->address, "\x0A\x01\x02\x03", 4));
}

TEST(SimAppliance, RouteListsAreTheirOwnVariables) {
    SimConfig c = Configured("route.0=00000a000001\nroute.1=0100\n");
    SimState s;
    ImcMessage r0 = Get(512, 696, 1), r1 = Get(512, 697, 2), r2 = Get(512, 698, 3);
    EXPECT_EQ(StringValue(*Send(c, s, r0).reply), "00000a000001");
    EXPECT_EQ(StringValue(*Send(c, s, r1).reply), "0100");
    EXPECT_EQ(Send(c, s, r2).reply->pdu->errorStatus, 2);
}

TEST(SimAppliance, ValueTooLargeForAFrameIsAnsweredTooBig) {
    SimConfig c = Configured("route.0=00" + std::string(10238, 'a') + "\n");
    SimState s;
    ImcMessage q = Get(512, 696, 9);
    Exchange e = Send(c, s, q);
    ASSERT_TRUE(e.reply);
    EXPECT_TRUE(HostAccepts(q, *e.reply));
    EXPECT_EQ(e.reply->pdu->errorStatus, 1);
}

TEST(SimAppliance, ActionIsServedOnceUntilTheConfigurationIsLoadedAgain) {
    SimConfig c = Configured("action=[exit] 1\n");
    SimState s;
    SimConfigLoaded(c, s);
    ImcMessage a1 = Get(61440, 61568, 1), a2 = Get(61440, 61568, 2), a3 = Get(61440, 61568, 3);
    EXPECT_EQ(StringValue(*Send(c, s, a1).reply), "[exit] 1");
    Exchange second = Send(c, s, a2);
    EXPECT_EQ(second.reply->pdu->errorStatus, 0);
    EXPECT_EQ(StringValue(*second.reply), "");
    SimConfigLoaded(c, s);
    EXPECT_EQ(StringValue(*Send(c, s, a3).reply), "[exit] 1");

    c.actionSticky = true;
    ImcMessage b1 = Get(61440, 61568, 4), b2 = Get(61440, 61568, 5);
    EXPECT_EQ(StringValue(*Send(c, s, b1).reply), "[exit] 1");
    EXPECT_EQ(StringValue(*Send(c, s, b2).reply), "[exit] 1");
}

TEST(SimAppliance, SetsAreRecordedAndAnsweredWithTheConfiguredStatus) {
    SimConfig c = Configured("var.61440.61586.set-error=4\n");
    SimState s;
    ImcMessage i;
    std::memcpy(i.mac, ApplianceMac, 6);
    int32_t fourteen = 14;
    ImcSetCommunity(i, "", "");
    ImcSetPduType(i, ImcPduSetRequest);
    ImcAddVarBind(i, 61440, 61584, ImcTagInteger, &fourteen, 4);
    i.pdu->requestId = 5;
    Exchange e = Send(c, s, i);
    ASSERT_TRUE(e.reply);
    EXPECT_TRUE(HostAccepts(i, *e.reply));
    EXPECT_EQ(e.reply->pdu->errorStatus, 0);
    EXPECT_EQ(e.out.records, std::vector<std::string>{"set 61440.61584 int 14"});

    ImcMessage t;
    std::memcpy(t.mac, ApplianceMac, 6);
    ImcSetCommunity(t, "", "");
    ImcSetPduType(t, ImcPduSetRequest);
    ImcAddVarBind(t, 61440, 61586, ImcTagOctetString, "5\xFF", 2);
    t.pdu->requestId = 6;
    e = Send(c, s, t);
    ASSERT_TRUE(e.reply);
    EXPECT_EQ(e.reply->pdu->errorStatus, 4);
    EXPECT_EQ(e.out.records, std::vector<std::string>{"set 61440.61586 string 35ff"});

    c.setError = 6;
    ImcMessage again = Get(61440, 61584, 7, 0);
    ImcSetPduType(again, ImcPduSetRequest);
    EXPECT_EQ(Send(c, s, again).reply->pdu->errorStatus, 6);
}

TEST(SimAppliance, HostIdentityIsRecordedAndEchoed) {
    SimConfig c = Configured("");
    SimState s;
    uint8_t digest[16], block[128];
    for (int i = 0; i < 16; ++i) digest[i] = static_cast<uint8_t>(0xA0 + i);
    for (int i = 0; i < 128; ++i) block[i] = static_cast<uint8_t>(255 - i);
    ImcMessage m;
    std::memcpy(m.mac, ApplianceMac, 6);
    ImcSetLocalHostName(m, "PC 1");
    ImcSetBlock16(m, digest);
    ImcSetBlock128(m, block);
    m.flags |= ImcFlagTime | ImcFlagLongWait;
    ImcSetCommunity(m, "", "");
    ImcAddVarBind(m, 34816, 800, ImcTagNull, nullptr, 0);
    m.pdu->requestId = 3;
    std::vector<uint8_t> frame;
    ImcBuffer b;
    ASSERT_EQ(EncodeFrame(m, b, [] { return 1700000000u; }), ImcErrNone);
    frame.assign(ImcBufferData(b), ImcBufferData(b) + ImcBufferRemaining(b));
    SimOutcome out;
    SimHandleDatagram(c, s, frame.data(), static_cast<int>(frame.size()), out);
    ASSERT_EQ(out.records.size(), 1u);
    EXPECT_EQ(out.records[0], "identity host=PC%201 digest=" + SimHex(digest, 16) + " block128=" + SimHex(block, 128) +
                                  " time=1700000000 options=0x40000000");
    std::unique_ptr<ImcMessage> reply = Decode(out.reply);
    ASSERT_TRUE(reply);
    EXPECT_TRUE(HostAccepts(m, *reply));
    EXPECT_EQ(reply->localHostName, "PC 1");

    // Without the SNMP part (options 0) the answer carries none either.
    ImcMessage plain;
    std::memcpy(plain.mac, ApplianceMac, 6);
    ImcSetLocalHostName(plain, "pc");
    ImcSetBlock16(plain, digest);
    ImcSetBlock128(plain, block);
    plain.flags |= ImcFlagTime;
    Exchange e = Send(c, s, plain);
    ASSERT_TRUE(e.reply);
    EXPECT_TRUE(HostAccepts(plain, *e.reply));
    EXPECT_FALSE(e.reply->pdu);
    ASSERT_EQ(e.out.records.size(), 1u);
    EXPECT_NE(e.out.records[0].find(" options=0x00000000"), std::string::npos);
}

TEST(SimAppliance, ShutdownIsAnsweredRecordedAndPowersOff) {
    SimConfig c = Configured("");
    SimState s;
    for (uint32_t flags : {0x1u, 0x3u}) {
        ImcMessage q = Status(flags);
        Exchange e = Send(c, s, q);
        ASSERT_TRUE(e.reply);
        EXPECT_TRUE(HostAccepts(q, *e.reply));
        EXPECT_EQ(e.reply->flags, flags & ~1u);
        EXPECT_TRUE(e.out.powerOff);
        EXPECT_EQ(e.out.records, std::vector<std::string>{"shutdown"});
    }
    c.shutdownPowersOff = false;
    ImcMessage q = Status(0x1);
    EXPECT_FALSE(Send(c, s, q).out.powerOff);
    // A command that supplies fields is not the shutdown request.
    ImcMessage named = Status(0x81);
    named.deviceName = "x";
    Exchange e = Send(c, s, named);
    EXPECT_FALSE(e.out.powerOff);
    ASSERT_TRUE(e.reply);
    EXPECT_TRUE(HostAccepts(named, *e.reply));
}

TEST(SimAppliance, DropsAndDeliberatelyWrongAnswers) {
    SimConfig c = Configured("drop-next=1\n");
    SimState s;
    SimConfigLoaded(c, s);
    ImcMessage q1 = Status(0x382), q2 = Status(0x382);
    Exchange e = Send(c, s, q1);
    EXPECT_TRUE(e.out.reply.empty());
    EXPECT_EQ(e.out.records, std::vector<std::string>{"drop flags=0x00000382"});
    EXPECT_TRUE(Send(c, s, q2).reply);

    c.replyFlagsXor = 0x2;
    ImcMessage q3 = Status(0x382);
    e = Send(c, s, q3);
    ASSERT_TRUE(e.reply);
    EXPECT_FALSE(HostAccepts(q3, *e.reply));

    c.replyFlagsXor = 0;
    c.requestIdOffset = -1;
    ImcMessage g = Get(512, 640, 10);
    e = Send(c, s, g);
    ASSERT_TRUE(e.reply);
    EXPECT_EQ(e.reply->pdu->requestId, 9);
    EXPECT_FALSE(HostAccepts(g, *e.reply));
}

TEST(SimAppliance, UndecodableAndNonCommandFramesGetNoAnswer) {
    SimConfig c = Configured("");
    SimState s;
    SimOutcome out;
    const uint8_t junk[] = {'I', 'M', 'C', 'C', 0, 0};
    SimHandleDatagram(c, s, junk, sizeof junk, out);
    EXPECT_TRUE(out.reply.empty());
    EXPECT_EQ(out.records, std::vector<std::string>{"malformed"});

    ImcMessage reply;
    reply.kind = 0;
    std::memcpy(reply.mac, ApplianceMac, 6);
    Exchange e = Send(c, s, reply);
    EXPECT_TRUE(e.out.reply.empty());
    EXPECT_TRUE(e.out.records.empty());
}

TEST(SimAppliance, NotificationIsAnImcnFrame) {
    SimConfig c = Configured("notify-flags=0x80000381\n");
    std::vector<uint8_t> frame;
    std::string problem;
    ASSERT_TRUE(SimBuildNotification(c, frame, problem)) << problem;
    std::unique_ptr<ImcMessage> m = Decode(frame);
    ASSERT_TRUE(m);
    EXPECT_EQ(m->notification, 1);
    EXPECT_EQ(m->flags, 0x380u);
    EXPECT_EQ(m->deviceName, "appliance");
    EXPECT_EQ(0, std::memcmp(m->mac, ApplianceMac, 6));
}
