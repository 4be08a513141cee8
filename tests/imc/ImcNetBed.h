// The test bed of the network tests, as the Windows test program sees it:
// the work folder shared with the simulator (configuration, power file,
// record), the two addresses, the captured debug log and a window that counts
// input notices. imc-net-test.sh sets it up; see there.
#pragma once
#include <windows.h>
#include <winsock2.h>

#include <cstdint>
#include <cstdio>
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
    // Waits (up to 20 s) for the simulator's pid file.
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

// The IMC debug log captured in a file for one test.
class ImcLogFile {
public:
    explicit ImcLogFile(const std::string& path);
    ~ImcLogFile();
    std::vector<std::string> Lines() const;  // without the time stamps

private:
    std::string path_;
    FILE* file_;
};

// Lines (in order) that contain `part`.
std::vector<std::string> Matching(const std::vector<std::string>& lines, const std::string& part);
// Index of the first line at or after `from` that contains `part`, or -1.
int Find(const std::vector<std::string>& lines, const std::string& part, int from = 0);
std::string Joined(const std::vector<std::string>& lines);

// The message the conversation posts input notices as, in these tests.
inline constexpr UINT kInputMessage = WM_APP + 1;

// A message-only window that counts kInputMessage: the ones the
// conversation posts (both parameters 0) and the ones a socket raises
// (FD_READ).
class InputCounter {
public:
    InputCounter();
    ~InputCounter();
    HWND window() const { return window_; }
    // Dispatches every message waiting for this thread.
    void Pump();
    // Pumps until a socket notice arrived or `ms` passed.
    bool WaitForSocketNotice(DWORD ms);
    int posted = 0;
    int fromSocket = 0;

private:
    static LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM w, LPARAM l);
    HWND window_ = nullptr;
};

}  // namespace holv::test
