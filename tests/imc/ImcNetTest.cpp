// The real transport, conversation and operations against the appliance
// simulator, across a veth between two network namespaces (imc-net-test.sh).
// Each case rewrites the simulator's configuration and reads what it
// recorded, and reads the conversation's debug log; nothing here depends on
// how long anything took.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "imc/ImcCodes.h"
#include "imc/ImcFrame.h"
#include "imc/ImcLog.h"
#include "imc/ImcMatch.h"
#include "imc/ImcNetBed.h"
#include "imc/ImcOperations.h"
#include "imc/ImcPipePacket.h"
#include "imc/ImcPipeServer.h"
#include "imc/ImcTransport.h"

namespace holv {
namespace {

using test::Bed;
using test::Find;
using test::ImcLogFile;
using test::ImcPipeServer;
using test::Joined;
using test::kSimMac;
using test::Matching;
using test::Packet;
using Lines = std::vector<std::string>;

class ImcNet : public ::testing::Test {
protected:
    void SetUp() override {
        std::string problem;
        ASSERT_TRUE(Bed().Load(problem)) << problem;
        ASSERT_TRUE(Bed().WaitForSimulator()) << "the simulator never wrote its pid file";
        ImcDestroy();
        ASSERT_TRUE(Bed().PowerOn());
        ASSERT_TRUE(Bed().Configure());
        Bed().ClearRecord();
    }
    void TearDown() override {
        ImcDestroy();
        ImcSetLogStream(nullptr);
    }
    std::string LogPath() const {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        return Bed().Path((std::string("imc-") + info->name() + ".log").c_str());
    }
    // While no target is known a request waits 30 ms, so an answer may miss
    // it; the session simply asks again at its next tick, and so do we.
    template <typename F>
    static int Retried(F request) {
        int rc = ImcFailed;
        for (int i = 0; i < 5 && rc != ImcOk; ++i) rc = request();
        return rc;
    }
    static int GetSerial(int& length, char* buffer) { return ImcGetString(kSimMac, "", "", 512, 640, length, buffer); }
    static std::string Dotted(uint32_t a) {
        in_addr in;
        in.s_addr = a;
        return inet_ntoa(in);
    }
};

// ---- discovery and unicast

TEST_F(ImcNet, DiscoveryByBroadcastCopiesTheAnswer) {
    const std::string longName(150, 'p');
    ASSERT_TRUE(Bed().Configure("device-name=sim-box\nproduct-name=" + longName +
                                "\nfirmware=9.8.7\nstatus-flags=0x40020000\n"));
    ImcLogFile log(LogPath());
    ASSERT_EQ(ImcCreate(), 0);
    char product[100], firmware[100], device[100];
    std::memset(product, '#', sizeof product);
    uint32_t address = 0, flags = 0;
    ASSERT_EQ(Retried([&] { return ImcQueryStatus(kSimMac, product, firmware, device, &address, &flags); }), ImcOk);
    EXPECT_EQ(std::string(product), std::string(99, 'p'));  // cut to 99 and terminated
    EXPECT_STREQ(firmware, "9.8.7");
    EXPECT_STREQ(device, "sim-box");
    EXPECT_EQ(Dotted(address), Bed().applianceText());
    EXPECT_EQ(flags, 0x40020380u);  // the news bits outside the mask come through

    Lines record = Bed().Record();
    ASSERT_FALSE(record.empty());
    for (const std::string& line : record) EXPECT_EQ(line, "status flags=0x00000380");
    Lines lines = log.Lines();
    EXPECT_NE(Find(lines, "Opening fallback socket ["), -1) << Joined(lines);
    EXPECT_NE(Find(lines, "using address " + Dotted(Bed().host())), -1) << Joined(lines);
    Lines sends = Matching(lines, "Sending on socket [");
    ASSERT_FALSE(sends.empty()) << Joined(lines);
    for (const std::string& line : sends) EXPECT_NE(line.find("to 255.255.255.255: 14"), std::string::npos) << line;
    EXPECT_NE(Find(lines, "from " + Bed().applianceText() + ":"), -1) << Joined(lines);
}

TEST_F(ImcNet, QueryForAnotherApplianceGetsNoAnswerAndKeepsTheOutputs) {
    ASSERT_EQ(ImcCreate(), 0);
    const uint8_t other[6] = {0x00, 0x0C, 0x29, 0x00, 0x00, 0x99};
    char device[100] = "kept";
    uint32_t address = 5, flags = 6;
    EXPECT_EQ(ImcQueryStatus(other, nullptr, nullptr, device, &address, &flags), ImcFailed);
    EXPECT_STREQ(device, "kept");
    EXPECT_EQ(address, 5u);
    EXPECT_EQ(flags, 6u);
    Lines record = Bed().RecordWithAtLeast(1);
    EXPECT_EQ(record, Lines{"foreign-mac 00:0c:29:00:00:99"});
}

TEST_F(ImcNet, UnicastOnceATargetIsSet) {
    ASSERT_TRUE(Bed().Configure("serial=SIM-UNICAST\n"));
    ImcLogFile log(LogPath());
    ASSERT_EQ(ImcCreate(), 0);
    ImcSetTarget(Bed().appliance());
    char serial[64];
    int length = sizeof serial;
    ASSERT_EQ(GetSerial(length, serial), ImcOk);
    EXPECT_EQ(std::string(serial, length), "SIM-UNICAST");
    uint32_t flags = 0;
    ASSERT_EQ(ImcQueryStatus(kSimMac, nullptr, nullptr, nullptr, nullptr, &flags), ImcOk);
    EXPECT_EQ(flags, 0x382u);  // bit 0x2 with a known target, echoed
    EXPECT_EQ(Bed().Record(), (Lines{"get 512.640", "status flags=0x00000382"}));

    Lines lines = log.Lines();
    int connected = Find(lines, "Connecting to " + Bed().applianceText());
    ASSERT_NE(connected, -1) << Joined(lines);
    Lines after(lines.begin() + connected, lines.end());
    Lines sends = Matching(after, "Sending on socket [");
    EXPECT_EQ(sends.size(), 2u) << Joined(lines);
    for (const std::string& line : sends)
        EXPECT_NE(line.find("to " + Bed().applianceText() + ": "), std::string::npos) << line;
    EXPECT_TRUE(Matching(after, "255.255.255.255").empty()) << Joined(lines);
}

// ---- variables

TEST_F(ImcNet, GetStringIsCutToTheCallersLength) {
    const std::string serial = "S" + std::string(58, 'x') + "E";  // 60 bytes
    ASSERT_TRUE(Bed().Configure("serial=" + serial + "\n"));
    ASSERT_EQ(ImcCreate(), 0);
    ImcSetTarget(Bed().appliance());
    char buffer[64];
    std::memset(buffer, '#', sizeof buffer);
    int length = 49;
    ASSERT_EQ(GetSerial(length, buffer), ImcOk);
    EXPECT_EQ(length, 49);
    EXPECT_EQ(std::string(buffer, 49), serial.substr(0, 49));
    EXPECT_EQ(buffer[49], '#');  // no terminator, nothing beyond
}

// Each case: how the appliance answers the serial's get, and the result. A
// failed get leaves the caller's buffer and length alone.
TEST_F(ImcNet, GetErrorsMapToTheCallersResults) {
    const std::pair<const char*, int> cases[] = {
        {"serial.error=2\n", ImcRefused},
        {"serial.error=6\n", ImcNoAccess},
        {"serial.error=5\n", ImcFailed},
        {"serial.type=int\nserial=5\n", ImcFailed},
    };
    ASSERT_EQ(ImcCreate(), 0);
    ImcSetTarget(Bed().appliance());
    for (auto [config, rc] : cases) {
        ASSERT_TRUE(Bed().Configure(config));
        Bed().ClearRecord();
        char buffer[64];
        std::memset(buffer, '#', sizeof buffer);
        int length = 49;
        EXPECT_EQ(GetSerial(length, buffer), rc) << config;
        EXPECT_EQ(length, 49) << config;
        EXPECT_EQ(std::string(buffer, sizeof buffer), std::string(sizeof buffer, '#')) << config;
        EXPECT_EQ(Bed().Record(), Lines{"get 512.640"}) << "answered at once: no re-send";
    }
}

TEST_F(ImcNet, LateAnswerToThePreviousRequestIsIgnored) {
    ASSERT_TRUE(Bed().Configure("serial=SIM-LATE\nrequest-id-offset=-1\n"));
    ImcLogFile log(LogPath());
    ASSERT_EQ(ImcCreate(), 0);
    ImcSetTarget(Bed().appliance());
    char buffer[64];
    std::memset(buffer, '#', sizeof buffer);
    int length = sizeof buffer;
    EXPECT_EQ(GetSerial(length, buffer), ImcFailed);
    EXPECT_EQ(buffer[0], '#');
    // Answers did arrive (to the request and to its re-send); they were
    // ignored for their request-id.
    EXPECT_EQ(Bed().RecordWithAtLeast(2), (Lines{"get 512.640", "get 512.640"}));
    Lines lines = log.Lines();
    EXPECT_GE(Matching(lines, "from " + Bed().applianceText() + ":").size(), 2u) << Joined(lines);

    // The same exchange with the right request-id is accepted.
    ASSERT_TRUE(Bed().Configure("serial=SIM-LATE\n"));
    ImcSetTarget(Bed().appliance());
    length = sizeof buffer;
    ASSERT_EQ(GetSerial(length, buffer), ImcOk);
    EXPECT_EQ(std::string(buffer, length), "SIM-LATE");
}

TEST_F(ImcNet, RepliesWithAChangedMaskBitAreIgnored) {
    ASSERT_TRUE(Bed().Configure("reply-flags-xor=0x4\n"));
    ASSERT_EQ(ImcCreate(), 0);
    ImcSetTarget(Bed().appliance());
    uint32_t flags = 7;
    EXPECT_EQ(ImcQueryStatus(kSimMac, nullptr, nullptr, nullptr, nullptr, &flags), ImcFailed);
    EXPECT_EQ(flags, 7u);
    ASSERT_TRUE(Bed().Configure("reply-flags-xor=0x20000\n"));  // outside the mask
    ImcSetTarget(Bed().appliance());
    EXPECT_EQ(ImcQueryStatus(kSimMac, nullptr, nullptr, nullptr, nullptr, &flags), ImcOk);
    EXPECT_EQ(flags, 0x20382u);
}

// ---- lost answers

TEST_F(ImcNet, LostAnswerIsAskedForAgainByBroadcast) {
    ASSERT_TRUE(Bed().Configure("serial=SIM-AGAIN\ndrop-next=1\n"));
    ImcLogFile log(LogPath());
    ASSERT_EQ(ImcCreate(), 0);
    ImcSetTarget(Bed().appliance());
    char buffer[64];
    int length = sizeof buffer;
    ASSERT_EQ(GetSerial(length, buffer), ImcOk);
    EXPECT_EQ(std::string(buffer, length), "SIM-AGAIN");
    // Exactly two frames for one request, the same flag word both times.
    EXPECT_EQ(Bed().Record(), (Lines{"drop flags=0x80000002", "get 512.640"}));

    Lines lines = log.Lines();
    int first = Find(lines, "Sending on socket [");
    int reopen = Find(lines, "Trying to work around winsock bug!");
    int second = Find(lines, "Sending on socket [", reopen);
    ASSERT_TRUE(first >= 0 && reopen > first && second > reopen) << Joined(lines);
    EXPECT_NE(lines[first].find("to " + Bed().applianceText() + ": "), std::string::npos) << lines[first];
    EXPECT_NE(lines[second].find("to 255.255.255.255: "), std::string::npos) << lines[second];
    EXPECT_EQ(Matching(lines, "Sending on socket [").size(), 2u) << Joined(lines);
}

TEST_F(ImcNet, NoAnswerWithATargetFailsAfterTwoFrames) {
    ASSERT_TRUE(Bed().Configure("drop-next=5\n"));
    ImcLogFile log(LogPath());
    ASSERT_EQ(ImcCreate(), 0);
    ImcSetTarget(Bed().appliance());
    char buffer[64];
    std::memset(buffer, '#', sizeof buffer);
    int length = sizeof buffer;
    EXPECT_EQ(GetSerial(length, buffer), ImcFailed);
    EXPECT_EQ(length, static_cast<int>(sizeof buffer));
    EXPECT_EQ(buffer[0], '#');
    Lines record = Bed().RecordWithAtLeast(2);
    Sleep(300);  // a third frame, were there one, would be recorded by now
    record = Bed().Record();
    EXPECT_EQ(record, (Lines{"drop flags=0x80000002", "drop flags=0x80000002"}));
    Lines lines = log.Lines();
    EXPECT_EQ(Matching(lines, "Sending on socket [").size(), 2u) << Joined(lines);
    EXPECT_EQ(Matching(lines, "Trying to work around winsock bug!").size(), 1u) << Joined(lines);
}

TEST_F(ImcNet, NoAnswerWithoutATargetFailsAfterOneFrame) {
    ASSERT_TRUE(Bed().PowerOff());
    ImcLogFile log(LogPath());
    ASSERT_EQ(ImcCreate(), 0);
    EXPECT_EQ(ImcQueryStatus(kSimMac, nullptr, nullptr, nullptr, nullptr, nullptr), ImcFailed);
    Lines lines = log.Lines();
    EXPECT_EQ(Matching(lines, "Sending on socket [").size(), 1u) << Joined(lines);
    EXPECT_TRUE(Matching(lines, "Trying to work around").empty()) << Joined(lines);
}

// ---- setting variables

// A variable that moved to item 0x8331 is set there, and at its old item
// 0xA80 only when the appliance does not know the new one.
TEST_F(ImcNet, MovedVariableFallsBackToItsOldItemOnlyWhenTheNewOneIsUnknown) {
    const Lines both = {"set 33536.33585 int 7", "set 33536.2688 int 7"}, newOnly = {"set 33536.33585 int 7"};
    const struct {
        const char* config;
        int rc;
        Lines record;
    } cases[] = {
        {"", ImcOk, newOnly},
        {"var.0x8300.0x8331.set-error=2\n", ImcOk, both},
        {"var.0x8300.0x8331.set-error=2\nvar.0x8300.0xA80.set-error=3\n", ImcRefused, both},
        {"var.0x8300.0x8331.set-error=4\n", ImcRefused, newOnly},
    };
    ASSERT_EQ(ImcCreate(), 0);
    ImcSetTarget(Bed().appliance());
    for (const auto& c : cases) {
        ASSERT_TRUE(Bed().Configure(c.config));
        Bed().ClearRecord();
        EXPECT_EQ(ImcSetInteger(kSimMac, "", "", 0x8300, 0xA80, ImcTagInteger, 7), c.rc) << c.config;
        EXPECT_EQ(Bed().Record(), c.record) << c.config;
    }
}

// ---- shutdown

TEST_F(ImcNet, ShutdownOnlyForAVirtualMachine) {
    ImcLogFile log(LogPath());
    ASSERT_EQ(ImcCreate(), 0);
    ImcSetTarget(Bed().appliance());
    const uint8_t physical[6] = {0x00, 0x50, 0x56, 0x01, 0x02, 0x03};
    EXPECT_EQ(ImcRequestShutdown(physical), ImcNotVirtual);
    EXPECT_TRUE(Matching(log.Lines(), "Sending on").empty()) << Joined(log.Lines());
    // The simulator records "shutdown" only for the flag word 0x1 or 0x3.
    EXPECT_EQ(ImcRequestShutdown(kSimMac), ImcOk);
    EXPECT_EQ(Bed().Record(), Lines{"shutdown"});
}

TEST_F(ImcNet, ShutdownWithoutAnAnswerStillSucceeds) {
    ASSERT_TRUE(Bed().Configure("drop-next=5\n"));
    ASSERT_EQ(ImcCreate(), 0);
    EXPECT_EQ(ImcRequestShutdown(kSimMac), ImcOk);  // no target: flag word 0x1
    ImcSetTarget(Bed().appliance());
    EXPECT_EQ(ImcRequestShutdown(kSimMac), ImcOk);  // with one: 0x3, sent twice
    const uint8_t virtualBox[6] = {0x08, 0x00, 0x27, 0x01, 0x02, 0x03};
    EXPECT_EQ(ImcRequestShutdown(virtualBox), ImcOk);  // nobody answers that MAC
    Lines record = Bed().RecordWithAtLeast(5);
    EXPECT_EQ(record, (Lines{"drop flags=0x00000001", "drop flags=0x00000003", "drop flags=0x00000003",
                             "foreign-mac 08:00:27:01:02:03", "foreign-mac 08:00:27:01:02:03"}))
        << Joined(record);
}

// ---- notifications

TEST_F(ImcNet, NotificationsDuringAWaitArePostedAndSocketsNotifyBetweenRequests) {
    test::InputCounter counter;
    ASSERT_NE(counter.window(), nullptr);
    ASSERT_TRUE(Bed().Configure("drop-next=2\n"));
    ASSERT_EQ(ImcCreate(), 0);
    ImcSetNotifyWindow(counter.window(), test::kInputMessage);
    ImcSetTarget(Bed().appliance());
    counter.Pump();
    counter.posted = counter.fromSocket = 0;
    // The helper signals the simulator once it has dropped the request, so
    // the notification arrives while the request still waits.
    ASSERT_TRUE(Bed().Ask("notify-on-drop"));
    char buffer[64];
    int length = sizeof buffer;
    EXPECT_EQ(GetSerial(length, buffer), ImcFailed);
    EXPECT_TRUE(Bed().Done("notify-on-drop"));
    counter.Pump();
    Lines record = Bed().Record();
    size_t notices = Matching(record, "notify to=" + Dotted(Bed().host())).size();
    EXPECT_EQ(notices, 1u) << Joined(record);
    EXPECT_EQ(counter.posted, static_cast<int>(notices)) << Joined(record);
    EXPECT_EQ(counter.fromSocket, 0);  // the sockets were quiet during the wait

    // Between requests the sockets themselves tell the window.
    ASSERT_TRUE(Bed().Ask("notify-now"));
    EXPECT_TRUE(counter.WaitForSocketNotice(10000));
    EXPECT_EQ(counter.posted, 1);

    // After the window is taken away, nothing more arrives there.
    ImcSetNotifyWindow(nullptr, 0);
    counter.Pump();
    counter.fromSocket = counter.posted = 0;
    ASSERT_TRUE(Bed().Ask("notify-now"));
    EXPECT_FALSE(counter.WaitForSocketNotice(1500));
    EXPECT_EQ(counter.posted, 0);
}

TEST_F(ImcNet, StreamOfNotificationsDoesNotStretchTheWait) {
    test::InputCounter counter;
    ASSERT_NE(counter.window(), nullptr);
    ASSERT_TRUE(Bed().Configure("drop-next=5\n"));
    ASSERT_EQ(ImcCreate(), 0);
    ImcSetNotifyWindow(counter.window(), test::kInputMessage);
    ImcSetTarget(Bed().appliance());
    // Notifications every 50 ms, for 20 s unless stopped: the poll never
    // comes back empty while they last.
    ASSERT_TRUE(Bed().Ask("notify-stream"));
    ASSERT_FALSE(Bed().RecordWithAtLeast(1).empty()) << "the stream did not start";
    char buffer[64];
    int length = sizeof buffer;
    EXPECT_EQ(GetSerial(length, buffer), ImcFailed);
    // The request gave up at its deadline while the stream still ran.
    EXPECT_FALSE(Bed().Done("notify-stream")) << "the wait lasted as long as the stream";
    DeleteFileA(Bed().Path("notify-stream").c_str());
    counter.Pump();
    EXPECT_GT(counter.posted, 0);
    EXPECT_EQ(Matching(Bed().Record(), "drop ").size(), 2u) << Joined(Bed().Record());
}

TEST_F(ImcNet, NotificationsComeBackAfterARequestThatCouldNotBeSent) {
    test::InputCounter counter;
    ASSERT_NE(counter.window(), nullptr);
    ASSERT_EQ(ImcCreate(), 0);
    ImcSetNotifyWindow(counter.window(), test::kInputMessage);
    ImcSetTarget(Bed().appliance());
    // Too large for a frame: encoding fails, nothing is sent, no wait runs.
    std::string huge(3000, 'x');
    EXPECT_EQ(ImcSetString(kSimMac, "", "", 0xF000, 0xF092, -1, huge.c_str()), ImcFailed);
    // The simulator needs to know the host for its notification.
    ASSERT_EQ(ImcQueryStatus(kSimMac, nullptr, nullptr, nullptr, nullptr, nullptr), ImcOk);
    EXPECT_EQ(ImcSetString(kSimMac, "", "", 0xF000, 0xF092, -1, huge.c_str()), ImcFailed);
    counter.Pump();
    counter.fromSocket = 0;
    ASSERT_TRUE(Bed().Ask("notify-now"));
    EXPECT_TRUE(counter.WaitForSocketNotice(10000)) << "the window hears nothing after a failed send";
    EXPECT_EQ(Bed().Record(), (Lines{"status flags=0x00000382", "notify to=" + Dotted(Bed().host())}));
}

// ---- the named-pipe path (the simulator is powered off: only the pipe answers)

std::string PipeName(const char* what) {
    return "holv-imc-test-" + std::to_string(GetCurrentProcessId()) + "-" + what;
}

uint32_t Address(const Packet& p, size_t at) {
    uint32_t a;
    std::memcpy(&a, p.data() + at, 4);
    return a;
}

// The header the transport must write: the pipe packet's own (tested with
// known bytes in ImcPipePacketTest) for this frame, number and destination.
void ExpectHostPacket(const Packet& p, uint16_t id, uint32_t destination) {
    ASSERT_GE(p.size(), 28u);
    EXPECT_EQ(p, WrapPipePacket(p.data() + 28, p.size() - 28, destination, id));
}

std::unique_ptr<ImcMessage> FrameOf(const Packet& p) {
    std::unique_ptr<ImcMessage> m;
    PipePayload payload;
    if (!UnwrapPipePacket(p.data(), p.size(), payload)) return m;
    ImcBuffer buffer;
    if (ImcBufferAssign(buffer, payload.frame, static_cast<int>(payload.length)) != ImcErrNone) return m;
    DecodeFrame(buffer, m);
    return m;
}

// The appliance's answer to a request, as the simulator would give it, with
// `device` as device name and a string value for every binding.
std::vector<uint8_t> AnswerFrame(const ImcMessage& request, const std::string& device) {
    ImcMessage reply;
    reply.kind = 0;
    std::memcpy(reply.mac, kSimMac, 6);
    reply.flags = request.flags & kImcAnswerMask & ~ImcFlagSnmp;
    reply.deviceName = device;
    reply.productName = "Pipe Product";
    reply.firmware = "1.2.3";
    if (request.pdu) {
        ImcSetPduType(reply, ImcPduGetResponse);
        ImcSetCommunity(reply, "", "");
        reply.pdu->requestId = request.pdu->requestId;
        for (const ImcVarBind* b = request.varBinds.get(); b; b = b->next.get())
            ImcAddVarBind(reply, b->name.ids[9], b->name.ids[10], ImcTagOctetString, "PIPE-SERIAL", -1);
    }
    ImcBuffer frame;
    if (EncodeFrame(reply, frame) != ImcErrNone) return {};
    return std::vector<uint8_t>(ImcBufferData(frame), ImcBufferData(frame) + ImcBufferRemaining(frame));
}

const std::vector<uint8_t> kStatusQueryFrame = {0x49, 0x4D, 0x43, 0x43, 0x00, 0x00, 0x03,
                                                0x80, 0x00, 0x0C, 0x29, 0x5A, 0x5A, 0x02};

TEST_F(ImcNet, PipeCarriesTheQueryAndItsAnswer) {
    ASSERT_TRUE(Bed().PowerOff());
    const uint32_t pipeSource = inet_addr("10.99.0.7");
    ImcPipeServer server(PipeName("status"), [&](const Packet& received) {
        std::vector<Packet> answers;
        std::unique_ptr<ImcMessage> request = FrameOf(received);
        // The broadcast before any target stays unanswered, so no answer is
        // left in the pipe for a later request.
        if (!request || Address(received, 16) == 0xFFFFFFFFu) return answers;
        Packet good = test::ApplianceToHost(AnswerFrame(*request, "through the pipe"), pipeSource);
        Packet wrong = test::ApplianceToHost(AnswerFrame(*request, "wrong"), pipeSource);
        answers.push_back(Packet(good.begin(), good.begin() + 27));  // too short
        answers.push_back(wrong);
        answers.back()[0] = 0x46;  // not a plain IPv4 header
        answers.push_back(wrong);
        answers.back()[9] = 6;  // TCP
        answers.push_back(good);
        return answers;
    });
    ASSERT_TRUE(server.Started());
    ImcLogFile log(LogPath());
    ASSERT_EQ(ImcCreate(), 0);
    ImcOpenPipe(server.name().c_str());
    EXPECT_EQ(ImcQueryStatus(kSimMac, nullptr, nullptr, nullptr, nullptr, nullptr), ImcFailed);
    ImcSetTarget(Bed().appliance());
    char product[100] = "", firmware[100] = "", device[100] = "";
    uint32_t address = 0, flags = 0;
    ASSERT_EQ(ImcQueryStatus(kSimMac, product, firmware, device, &address, &flags), ImcOk);
    EXPECT_STREQ(device, "through the pipe");
    EXPECT_STREQ(product, "Pipe Product");
    EXPECT_STREQ(firmware, "1.2.3");
    EXPECT_EQ(address, pipeSource);
    EXPECT_EQ(flags, 0x382u);
    char serial[32];
    int length = sizeof serial;
    ASSERT_EQ(GetSerial(length, serial), ImcOk);
    EXPECT_EQ(std::string(serial, length), "PIPE-SERIAL");
    ImcDestroy();  // closes the pipe: the server's read ends
    ASSERT_TRUE(server.Join(10000));

    std::vector<Packet> packets = server.Received();
    ASSERT_EQ(packets.size(), 3u);
    ExpectHostPacket(packets[0], 0, 0xFFFFFFFFu);
    ExpectHostPacket(packets[1], 1, Bed().appliance());
    ExpectHostPacket(packets[2], 2, Bed().appliance());
    EXPECT_EQ(std::vector<uint8_t>(packets[0].begin() + 28, packets[0].end()), kStatusQueryFrame);
    std::vector<uint8_t> longWait = kStatusQueryFrame;
    longWait[7] = 0x82;
    EXPECT_EQ(std::vector<uint8_t>(packets[1].begin() + 28, packets[1].end()), longWait);
    std::unique_ptr<ImcMessage> get = FrameOf(packets[2]);
    ASSERT_NE(get, nullptr);
    ASSERT_NE(get->pdu, nullptr);
    EXPECT_EQ(get->pdu->requestId, 2);
    EXPECT_EQ(get->pdu->community, ":");
    EXPECT_EQ(get->flags, 0x80000002u);

    Lines lines = log.Lines();
    EXPECT_NE(Find(lines, "Connected to \\\\.\\pipe\\" + server.name()), -1) << Joined(lines);
    EXPECT_NE(Find(lines, "Sending on pipe to 255.255.255.255: 14"), -1) << Joined(lines);
    EXPECT_NE(Find(lines, "Sending on pipe to " + Bed().applianceText() + ": 14"), -1) << Joined(lines);
    EXPECT_EQ(Matching(lines, "Receive on pipe from 10.99.0.7: ").size(), 2u) << Joined(lines);
    // The frame also went out on UDP each time.
    EXPECT_EQ(Matching(lines, "Sending on socket [").size(), 3u) << Joined(lines);
}

TEST_F(ImcNet, PipePacketsAreCutAndNumberedWithWrapAround) {
    ASSERT_TRUE(Bed().PowerOff());
    ImcPipeServer server(PipeName("numbers"), [](const Packet&) { return std::vector<Packet>(); });
    ASSERT_TRUE(server.Started());
    ImcLogFile log(LogPath());
    std::vector<uint8_t> big(3000);
    for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<uint8_t>(i * 7);
    {
        ImcTransport t;
        ImcTransportOpen(t, kImcNoTarget);
        ImcTransportOpenPipe(t, "holv-imc-test-no-such-pipe");
        EXPECT_FALSE(t.pipe);  // a later call may try again
        ImcTransportOpenPipe(t, server.name().c_str());
        ASSERT_TRUE(t.pipe);
        HANDLE first = t.pipe.get();
        ImcTransportOpenPipe(t, "holv-imc-test-no-such-pipe");  // one is open: nothing happens
        EXPECT_EQ(t.pipe.get(), first);
        t.packetId = 65534;
        EXPECT_EQ(ImcTransportSend(t, big.data(), static_cast<int>(big.size())), ImcErrNone);
        EXPECT_EQ(ImcTransportSend(t, kStatusQueryFrame.data(), 14), ImcErrNone);
        EXPECT_EQ(ImcTransportSend(t, kStatusQueryFrame.data(), 14), ImcErrNone);
        ImcTransportClose(t);
        EXPECT_FALSE(t.pipe);
    }
    ASSERT_TRUE(server.Join(10000));
    std::vector<Packet> packets = server.Received();
    ASSERT_EQ(packets.size(), 3u);
    EXPECT_EQ(packets[0].size(), 2076u);
    ExpectHostPacket(packets[0], 65534, 0xFFFFFFFFu);
    EXPECT_EQ(std::vector<uint8_t>(packets[0].begin() + 28, packets[0].end()),
              std::vector<uint8_t>(big.begin(), big.begin() + 2048));
    ExpectHostPacket(packets[1], 65535, 0xFFFFFFFFu);
    ExpectHostPacket(packets[2], 0, 0xFFFFFFFFu);
    Lines lines = log.Lines();
    EXPECT_NE(Find(lines, "Sending on pipe to 255.255.255.255: 2048"), -1) << Joined(lines);
    EXPECT_EQ(Matching(lines, "Connected to").size(), 1u) << Joined(lines);
}

}  // namespace
}  // namespace holv
