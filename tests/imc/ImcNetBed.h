// The test bed of the network tests, as the Windows test program sees it:
// the work folder shared with the simulator (configuration, power file,
// record) and the two addresses. imc-net-test.sh sets it up; see there.
#pragma once
#include <windows.h>
#include <winsock2.h>

#include <cstdint>
#include <string>
#include <vector>

namespace holv::test {

// The simulator's MAC, as imc-net-test.sh configures it.
inline constexpr uint8_t kSimMac[6] = {0x00, 0x0C, 0x29, 0x5A, 0x5A, 0x02};

class ImcNetBed {
public:
    // Reads HOLV_IMC_NET_WORK, HOLV_APPLIANCE_IP and HOLV_HOST_IP; false with
    // `problem` set when the program was not started by imc-net-test.sh.
    bool Load(std::string& problem);
    // Whether the simulator wrote its pid file.
    bool WaitForSimulator();

    // Replaces the configuration atomically; `extra` lines follow the fixed
    // MAC and shutdown-powers-off=0.
    bool Configure(const std::string& extra = "");
    bool PowerOn();
    bool PowerOff();
    void ClearRecord();
    std::vector<std::string> Record() const;
    // The record, once it holds at least `count` lines (up to 5 s): the
    // simulator writes a line when it handles a datagram, which may come a
    // moment after the host stopped waiting for it.
    std::vector<std::string> RecordWithAtLeast(size_t count) const;
    // Leaves a request for the appliance-side helper (notify-now,
    // notify-on-drop) and, for Done, whether it was carried out.
    bool Ask(const char* request);
    bool Done(const char* request) const;

    std::string Path(const char* name) const { return work_ + "\\" + name; }
    uint32_t appliance() const { return appliance_; }
    uint32_t host() const { return host_; }
    const std::string& applianceText() const { return applianceText_; }

private:
    std::string work_;  // Windows path of the work folder
    uint32_t appliance_ = 0, host_ = 0;
    std::string applianceText_;
};

ImcNetBed& Bed();

std::string Joined(const std::vector<std::string>& lines);
// A text file's lines, without their line ends.
std::vector<std::string> ReadLines(const std::string& path);

}  // namespace holv::test
