// The real transport, conversation and operations against the appliance
// simulator, across a veth between two network namespaces (imc-net-test.sh).
// Each case rewrites the simulator's configuration and reads what it
// recorded, and reads the conversation's debug log; nothing here depends on
// how long anything took.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "imc/ImcCodes.h"
#include "imc/ImcFrame.h"
#include "imc/ImcLog.h"
#include "imc/ImcMatch.h"
#include "imc/ImcNetBed.h"
#include "imc/ImcOperations.h"
#include "imc/ImcPipePacket.h"

namespace holv {
namespace {

using test::Bed;
using test::Joined;
using test::kSimMac;
using Lines = std::vector<std::string>;
using Packet = std::vector<uint8_t>;

// Lines (in order) that contain `part`.
Lines Matching(const Lines& lines, const std::string& part) {
    Lines out;
    for (const std::string& line : lines)
        if (line.find(part) != std::string::npos) out.push_back(line);
    return out;
}

std::string Dotted(uint32_t a) {
    in_addr in;
    in.s_addr = a;
    return inet_ntoa(in);
}

// The IMC debug log captured in a file for one test.
class LogFile {
public:
    LogFile() : path_(LogPath()), file_(std::fopen(path_.c_str(), "w")) { ImcSetLogStream(file_); }
    ~LogFile() {
        ImcSetLogStream(nullptr);
        if (file_) std::fclose(file_);
    }
    Lines Read() const {
        Lines lines = test::ReadLines(path_);
        for (std::string& line : lines) line.erase(0, 13);  // the time stamp "HH:MM:SS.mmm "
        return lines;
    }

private:
    static std::string LogPath() {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        return Bed().Path((std::string("imc-") + info->name() + ".log").c_str());
    }
    std::string path_;
    FILE* file_;
};

// A message-only window's input notices: the ones the conversation posts
// (both parameters 0) and the ones a socket raises (FD_READ).
constexpr UINT kInputMessage = WM_APP + 1;

struct InputCounter {
    HWND window = CreateWindowExA(0, "STATIC", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    int posted = 0, fromSocket = 0;

    ~InputCounter() { DestroyWindow(window); }
    void Pump() {
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.hwnd != window || msg.message != kInputMessage)
                DispatchMessageA(&msg);
            else if (msg.wParam == 0 && msg.lParam == 0)
                ++posted;
            else if (WSAGETSELECTEVENT(msg.lParam) == FD_READ)
                ++fromSocket;
        }
    }
    // Pumps until a socket notice arrived or `ms` passed.
    bool WaitForSocketNotice(DWORD ms) {
        for (DWORD start = GetTickCount(); fromSocket == 0 && GetTickCount() - start < ms; Pump())
            MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
        return fromSocket > 0;
    }
    // Listens from now on, with nothing counted.
    void Listen() {
        ImcSetNotifyWindow(window, kInputMessage);
        Pump();
        posted = fromSocket = 0;
    }
};

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
    void TearDown() override { ImcDestroy(); }
    // Starts the conversation with the simulator's address as its target.
    static void CreateWithTarget() {
        ASSERT_EQ(ImcCreate(), 0);
        ImcSetTarget(Bed().appliance());
    }
    static int GetSerial(int& length, char* buffer) { return ImcGetString(kSimMac, "", "", 512, 640, length, buffer); }
};

// ---- answers (discovery by broadcast is what every end-to-end run starts
// with; that a known target is asked directly, the get table shows)

// An appliance's text is cut to the caller's room and terminated, a string to
// the caller's length without a terminator, nothing beyond.
TEST_F(ImcNet, AnswersStayWithinTheCallersRoom) {
    const std::string serial = "S" + std::string(58, 'x') + "E";  // 60 bytes
    ASSERT_TRUE(Bed().Configure("serial=" + serial + "\nproduct-name=" + std::string(150, 'p') +
                                "\nstatus-flags=0x40020000\n"));
    CreateWithTarget();
    char buffer[64];
    std::memset(buffer, '#', sizeof buffer);
    int length = 49;
    ASSERT_EQ(GetSerial(length, buffer), ImcOk);
    EXPECT_EQ(length, 49);
    EXPECT_EQ(std::string(buffer, 50), serial.substr(0, 49) + "#");
    char product[100];
    uint32_t address = 0, flags = 0;
    ASSERT_EQ(ImcQueryStatus(kSimMac, product, nullptr, nullptr, &address, &flags), ImcOk);
    EXPECT_EQ(std::string(product), std::string(99, 'p'));
    EXPECT_EQ(Dotted(address), Bed().applianceText());
    EXPECT_EQ(flags, 0x40020382u);  // bit 0x2 with a known target, echoed; the news bits come through
    EXPECT_EQ(Bed().Record(), (Lines{"get 512.640", "status flags=0x00000382"}));
}

// ---- getting a variable: error statuses, late and lost answers

// Each case: the appliance's behaviour, whether the target is known, the
// result, what the appliance received and how many frames the host sent. An
// answer that is lost or comes late (it carries the previous request-id) is
// asked for once more, by broadcast on freshly opened sockets, but only with
// a known target. A failed get leaves the caller's buffer and length alone.
TEST_F(ImcNet, GetAnswersErrorsLateAndLostAnswers) {
    const Lines one = {"get 512.640"}, two = {"get 512.640", "get 512.640"};
    const struct {
        const char* config;
        bool target;
        int rc;
        Lines record;
        size_t sends;
    } cases[] = {
        {"serial.error=2\n", true, ImcRefused, one, 1},
        {"serial.error=6\n", true, ImcNoAccess, one, 1},
        {"serial.error=5\n", true, ImcFailed, one, 1},
        {"serial.type=int\nserial=5\n", true, ImcFailed, one, 1},
        {"serial=LATE\nrequest-id-offset=-1\n", true, ImcFailed, two, 2},
        {"serial=AGAIN\ndrop-next=1\n", true, ImcOk, {"drop flags=0x80000002", "get 512.640"}, 2},
        {"drop-next=5\n", true, ImcFailed, {"drop flags=0x80000002", "drop flags=0x80000002"}, 2},
        {"drop-next=5\n", false, ImcFailed, {"drop flags=0x80000000"}, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.config);
        ImcDestroy();
        ASSERT_TRUE(Bed().Configure(c.config));
        Bed().ClearRecord();
        LogFile log;
        ASSERT_EQ(ImcCreate(), 0);
        if (c.target) ImcSetTarget(Bed().appliance());
        char buffer[64];
        std::memset(buffer, '#', sizeof buffer);
        int length = 49;
        ASSERT_EQ(GetSerial(length, buffer), c.rc);
        const std::string got(buffer, c.rc == ImcOk ? length : 64);
        EXPECT_EQ(got, c.rc == ImcOk ? "AGAIN" : std::string(64, '#'));
        EXPECT_EQ(length, c.rc == ImcOk ? 5 : 49);
        EXPECT_EQ(Bed().RecordWithAtLeast(c.record.size()), c.record);

        Lines lines = log.Read();
        Lines sends = Matching(lines, "Sending on socket [");
        EXPECT_EQ(sends.size(), c.sends) << Joined(lines);
        EXPECT_EQ(Matching(lines, "Trying to work around winsock bug!").size(), c.sends - 1) << Joined(lines);
        if (c.sends < 2) continue;
        EXPECT_NE(sends[0].find("to " + Bed().applianceText() + ": "), std::string::npos) << sends[0];
        EXPECT_NE(sends[1].find("to 255.255.255.255: "), std::string::npos) << sends[1];
    }
}

// ---- shutdown: only for a virtual machine, and an answer is not needed

TEST_F(ImcNet, ShutdownOnlyForAVirtualMachineAndWithoutWaitingForAnAnswer) {
    ASSERT_TRUE(Bed().Configure("drop-next=5\n"));
    CreateWithTarget();
    const uint8_t physical[6] = {0x08, 0x00, 0x2B, 0x01, 0x02, 0x03};  // VirtualBox's first two bytes
    EXPECT_EQ(ImcRequestShutdown(physical), ImcNotVirtual);
    EXPECT_EQ(ImcRequestShutdown(kSimMac), ImcOk);  // sent twice, unanswered
    EXPECT_EQ(Bed().RecordWithAtLeast(2), (Lines{"drop flags=0x00000003", "drop flags=0x00000003"}));
}

// ---- notifications

TEST_F(ImcNet, NotificationsDuringAWaitArePostedAndSocketsNotifyBetweenRequests) {
    InputCounter counter;
    ASSERT_NE(counter.window, nullptr);
    ASSERT_TRUE(Bed().Configure("drop-next=2\n"));
    CreateWithTarget();
    counter.Listen();
    // The helper signals the simulator once it has dropped the request, so
    // the notification arrives while the request still waits.
    ASSERT_TRUE(Bed().Ask("notify-on-drop"));
    char buffer[64];
    int length = sizeof buffer;
    EXPECT_EQ(GetSerial(length, buffer), ImcFailed);
    EXPECT_TRUE(Bed().Done("notify-on-drop"));
    counter.Pump();
    Lines record = Bed().Record();
    EXPECT_EQ(Matching(record, "notify to=" + Dotted(Bed().host())).size(), 1u) << Joined(record);
    EXPECT_EQ(counter.posted, 1) << Joined(record);
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
    InputCounter counter;
    ASSERT_TRUE(Bed().Configure("drop-next=5\n"));
    CreateWithTarget();
    counter.Listen();
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
    InputCounter counter;
    CreateWithTarget();
    counter.Listen();
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

// The appliance's end of the pipe: a thread that creates "\\.\pipe\NAME" in
// message mode, keeps every packet the transport writes, and answers each
// one with the packets `answers` returns.
class PipeServer {
public:
    explicit PipeServer(std::function<std::vector<Packet>(const Packet&)> answers,
                        DWORD type = PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE)
        : answers_(std::move(answers)) {
        pipe_ = CreateNamedPipeA(("\\\\.\\pipe\\" + name).c_str(), PIPE_ACCESS_DUPLEX, type | PIPE_WAIT, 1, 8192, 8192,
                                 0, nullptr);
        auto run = [](void* self) -> DWORD {
            static_cast<PipeServer*>(self)->Serve();
            return 0;
        };
        if (pipe_ != INVALID_HANDLE_VALUE) thread_ = CreateThread(nullptr, 0, run, this, 0, nullptr);
    }
    ~PipeServer() {
        // A client that never went away: break the pipe so the read returns.
        if (thread_ && !Join(10000)) {
            DisconnectNamedPipe(pipe_);
            Join(10000);
        }
        if (thread_) CloseHandle(thread_);
        if (pipe_ != INVALID_HANDLE_VALUE) CloseHandle(pipe_);
    }
    bool Started() const { return thread_ != nullptr; }
    // Waits for the thread, which ends when the client closes its end.
    bool Join(DWORD ms) { return thread_ && WaitForSingleObject(thread_, ms) == WAIT_OBJECT_0; }

    const std::string name = "holv-imc-test-" + std::to_string(GetCurrentProcessId());
    std::vector<Packet> received;  // to be read once Join succeeded

private:
    void Serve() {
        if (!ConnectNamedPipe(pipe_, nullptr) && GetLastError() != ERROR_PIPE_CONNECTED) return;
        for (Packet packet(8192);; packet.resize(8192)) {
            DWORD got = 0, written = 0;
            if (!ReadFile(pipe_, packet.data(), static_cast<DWORD>(packet.size()), &got, nullptr)) return;
            packet.resize(got);
            received.push_back(packet);
            for (const Packet& answer : answers_(packet))
                if (!WriteFile(pipe_, answer.data(), static_cast<DWORD>(answer.size()), &written, nullptr)) return;
        }
    }

    std::function<std::vector<Packet>(const Packet&)> answers_;
    HANDLE pipe_ = INVALID_HANDLE_VALUE;
    HANDLE thread_ = nullptr;
};

// The header the transport must write: the pipe packet's own (tested with
// known bytes in ImcPipePacketTest) for this frame, number and destination.
void ExpectHostPacket(const Packet& p, uint16_t id, uint32_t destination) {
    ASSERT_GE(p.size(), 28u);
    EXPECT_EQ(p, WrapPipePacket(p.data() + 28, p.size() - 28, destination, id));
}

std::unique_ptr<ImcMessage> FrameOf(const Packet& p) {
    std::unique_ptr<ImcMessage> m;
    PipePayload payload;
    ImcBuffer buffer;
    if (UnwrapPipePacket(p.data(), p.size(), payload) &&
        ImcBufferAssign(buffer, payload.frame, static_cast<int>(payload.length)) == ImcErrNone)
        DecodeFrame(buffer, m);
    return m;
}

// The pipe packet the appliance would send for its answer to `request`, from
// `source` (network order): `device` as device name and a string value for
// every binding. Its header checksum is not looked at.
Packet AnswerPacket(const ImcMessage& request, const std::string& device, uint32_t source) {
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
    Packet packet = WrapPipePacket(ImcBufferData(frame), ImcBufferRemaining(frame), 0xFFFFFFFFu, 77);
    std::memcpy(packet.data() + 12, &source, 4);
    return packet;
}

TEST_F(ImcNet, PipeCarriesTheQueryAndItsAnswer) {
    ASSERT_TRUE(Bed().PowerOff());
    const uint32_t pipeSource = inet_addr("10.99.0.7");
    PipeServer server([&](const Packet& received) {
        std::vector<Packet> answers;
        std::unique_ptr<ImcMessage> request = FrameOf(received);
        // The broadcast before any target stays unanswered, so no answer is
        // left in the pipe for a later request.
        if (!request || std::all_of(&received[16], &received[20], [](uint8_t b) { return b == 0xFF; })) return answers;
        Packet good = AnswerPacket(*request, "through the pipe", pipeSource);
        Packet wrong = AnswerPacket(*request, "wrong", pipeSource);
        answers.push_back(Packet(good.begin(), good.begin() + 27));  // too short
        answers.push_back(wrong);
        answers.back()[0] = 0x46;  // not a plain IPv4 header
        answers.push_back(wrong);
        answers.back()[9] = 6;  // TCP
        answers.push_back(good);
        return answers;
    });
    ASSERT_TRUE(server.Started());
    LogFile log;
    ASSERT_EQ(ImcCreate(), 0);
    ImcOpenPipe("holv-imc-test-no-such-pipe", GetCurrentProcessId());  // a later call may try again
    ImcOpenPipe(server.name.c_str(), GetCurrentProcessId());           // this process plays the VM
    ImcOpenPipe("holv-imc-test-no-such-pipe", GetCurrentProcessId());  // one is open: nothing happens
    EXPECT_EQ(ImcQueryStatus(kSimMac, nullptr, nullptr, nullptr, nullptr, nullptr), ImcFailed);
    ImcSetTarget(Bed().appliance());
    char product[100] = "", firmware[100] = "", device[100] = "";
    uint32_t address = 0, flags = 0;
    ASSERT_EQ(ImcQueryStatus(kSimMac, product, firmware, device, &address, &flags), ImcOk);
    EXPECT_EQ(std::string(device) + "/" + product + "/" + firmware, "through the pipe/Pipe Product/1.2.3");
    EXPECT_EQ(address, pipeSource);
    EXPECT_EQ(flags, 0x382u);
    char serial[32];
    int length = sizeof serial;
    ASSERT_EQ(GetSerial(length, serial), ImcOk);
    EXPECT_EQ(std::string(serial, length), "PIPE-SERIAL");
    ImcDestroy();  // closes the pipe: the server's read ends
    ASSERT_TRUE(server.Join(10000));

    const std::vector<Packet>& packets = server.received;
    ASSERT_EQ(packets.size(), 3u);
    ExpectHostPacket(packets[0], 0, 0xFFFFFFFFu);
    ExpectHostPacket(packets[1], 1, Bed().appliance());
    ExpectHostPacket(packets[2], 2, Bed().appliance());
    // The frame also went out on UDP each time.
    Lines lines = log.Read();
    EXPECT_EQ(Matching(lines, "Sending on socket [").size(), 3u) << Joined(lines);
}

// The pipe's name is predictable: one that another process serves, or one
// whose message mode cannot be set (a byte pipe), is closed unused, and the
// answer it would give never counts.
TEST_F(ImcNet, PipeOfAnotherServerOrModeIsNotUsed) {
    ASSERT_TRUE(Bed().PowerOff());
    const struct {
        DWORD type, vmProcess;
        const char* why;
    } rows[] = {
        {PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE, GetCurrentProcessId() + 4, "not the VM's"},
        {PIPE_TYPE_BYTE, GetCurrentProcessId(), "its mode cannot be set"},
    };
    for (const auto& row : rows) {
        PipeServer server(
            [&](const Packet& received) {
                std::unique_ptr<ImcMessage> request = FrameOf(received);
                return request ? std::vector<Packet>{AnswerPacket(*request, "pipe", inet_addr("10.99.0.7"))}
                               : std::vector<Packet>{};
            },
            row.type);
        ASSERT_TRUE(server.Started());
        LogFile log;
        ASSERT_EQ(ImcCreate(), 0);
        ImcOpenPipe(server.name.c_str(), row.vmProcess);
        ImcSetTarget(Bed().appliance());
        EXPECT_EQ(ImcQueryStatus(kSimMac, nullptr, nullptr, nullptr, nullptr, nullptr), ImcFailed) << row.why;
        ImcDestroy();
        ASSERT_TRUE(server.Join(10000));
        EXPECT_TRUE(server.received.empty()) << row.why;
        Lines lines = log.Read();
        EXPECT_EQ(Matching(lines, row.why).size(), 1u) << Joined(lines);
    }
}

}  // namespace
}  // namespace holv
