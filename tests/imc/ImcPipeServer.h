// The appliance's end of the named-pipe path, for tests: a thread that
// creates "\\.\pipe\NAME" in message mode, keeps every packet the transport
// writes, and answers each one with the packets a test's responder returns.
#pragma once
#include <windows.h>

#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace holv::test {

using Packet = std::vector<uint8_t>;

class ImcPipeServer {
public:
    // Answers to one received packet (may be none).
    using Responder = std::function<std::vector<Packet>(const Packet& received)>;

    ImcPipeServer(std::string name, Responder responder);
    ~ImcPipeServer();
    bool Started() const { return pipe_ != INVALID_HANDLE_VALUE && thread_ != nullptr; }
    // Waits for the thread, which ends when the client closes its end.
    bool Join(DWORD ms);
    std::vector<Packet> Received();
    const std::string& name() const { return name_; }

private:
    static DWORD WINAPI Run(void* self);
    void Serve();

    std::string name_;
    Responder responder_;
    HANDLE pipe_ = INVALID_HANDLE_VALUE;
    HANDLE thread_ = nullptr;
    std::mutex lock_;
    std::vector<Packet> received_;
};

// The pipe packet an appliance would send: the frame behind an IPv4/UDP
// header from `source` (network order) with a correct checksum.
Packet ApplianceToHost(const std::vector<uint8_t>& frame, uint32_t source);

}  // namespace holv::test
