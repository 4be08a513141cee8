#include "imc/ImcPipeServer.h"

#include <cstring>

#include "imc/ImcPipePacket.h"

namespace holv::test {

ImcPipeServer::ImcPipeServer(std::string name, Responder responder)
    : name_(std::move(name)), responder_(std::move(responder)) {
    std::string path = "\\\\.\\pipe\\" + name_;
    pipe_ = CreateNamedPipeA(path.c_str(), PIPE_ACCESS_DUPLEX, PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT, 1,
                             8192, 8192, 0, nullptr);
    if (pipe_ != INVALID_HANDLE_VALUE) thread_ = CreateThread(nullptr, 0, Run, this, 0, nullptr);
}

ImcPipeServer::~ImcPipeServer() {
    if (thread_ && !Join(10000)) {
        // The client never went away: break the pipe so the thread's read
        // returns, then wait for it.
        DisconnectNamedPipe(pipe_);
        Join(10000);
    }
    if (thread_) CloseHandle(thread_);
    if (pipe_ != INVALID_HANDLE_VALUE) CloseHandle(pipe_);
}

bool ImcPipeServer::Join(DWORD ms) {
    return thread_ && WaitForSingleObject(thread_, ms) == WAIT_OBJECT_0;
}

std::vector<Packet> ImcPipeServer::Received() {
    std::lock_guard<std::mutex> hold(lock_);
    return received_;
}

DWORD WINAPI ImcPipeServer::Run(void* self) {
    static_cast<ImcPipeServer*>(self)->Serve();
    return 0;
}

void ImcPipeServer::Serve() {
    if (!ConnectNamedPipe(pipe_, nullptr) && GetLastError() != ERROR_PIPE_CONNECTED) return;
    for (;;) {
        Packet packet(8192);
        DWORD got = 0;
        if (!ReadFile(pipe_, packet.data(), static_cast<DWORD>(packet.size()), &got, nullptr)) return;
        packet.resize(got);
        {
            std::lock_guard<std::mutex> hold(lock_);
            received_.push_back(packet);
        }
        for (const Packet& answer : responder_(packet)) {
            DWORD written = 0;
            if (!WriteFile(pipe_, answer.data(), static_cast<DWORD>(answer.size()), &written, nullptr)) return;
        }
    }
}

Packet ApplianceToHost(const std::vector<uint8_t>& frame, uint32_t source) {
    Packet packet = WrapPipePacket(frame.data(), frame.size(), 0xFFFFFFFFu, 77);
    std::memcpy(packet.data() + 12, &source, 4);
    std::memset(packet.data() + 16, 0, 4);  // to the host; not looked at
    packet[10] = packet[11] = 0;
    uint16_t sum = Ipv4HeaderChecksum(packet.data());
    packet[10] = static_cast<uint8_t>(sum >> 8);
    packet[11] = static_cast<uint8_t>(sum);
    return packet;
}

}  // namespace holv::test
