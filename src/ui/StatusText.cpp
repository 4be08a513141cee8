#include "ui/StatusText.h"

#include "backends/LinkRule.h"
#include "base/Text.h"

namespace holv {
namespace {

constexpr int kStateStopped = 3, kStateStarting = 4, kStateRunning = 5;

const char* StateText(int state) {
    switch (state) {
        case kStateStopped: return "Stopped";
        case kStateStarting: return "Starting...";
        case kStateRunning: return "Running";
        default: return "VMware service not ready";
    }
}

uint32_t HostOrder(uint32_t networkOrder) {
    const auto* b = reinterpret_cast<const uint8_t*>(&networkOrder);
    return uint32_t(b[0]) << 24 | uint32_t(b[1]) << 16 | uint32_t(b[2]) << 8 | b[3];
}

}  // namespace

int PrefixLength(uint32_t maskNetworkOrder) {
    uint32_t mask = HostOrder(maskNetworkOrder);
    int length = 0;
    while (length < 32 && (mask & 0x80000000u)) {
        mask <<= 1;
        ++length;
    }
    return mask == 0 ? length : -1;
}

std::string BuildStatusTextFrom(const StatusSnapshot& s, size_t cap) {
    std::string serial = s.serialNo == "0" ? std::string() : s.serialNo;
    std::string text = std::string("State: ") + StateText(s.state) + "\nDevice Name: " + s.hostName +
                       "\nProduct Name: " + s.productName + "\nFirmware: " + s.firmware +
                       (serial.empty() ? "" : "\nSerial No: " + serial) + "\nIP Address: " + s.ipText;
    if (s.trellisport) {
        text += std::string("\n\nTrellisport: ") + s.trellisport;
        if (s.rkConnection) text += std::string("\nRK Connection: ") + s.rkConnection;
    }
    if (!s.routes.empty()) {
        text += "\n\nInstalled routes:";
        for (const RouteEntry& r : s.routes) {
            char line[40];
            char address[16];
            FormatIpv4(address, sizeof address, reinterpret_cast<const uint8_t*>(&r.destination));
            if (r.mask == 0xFFFFFFFFu)
                FormatText(line, sizeof line, "\n %s", address);
            else
                FormatText(line, sizeof line, "\n %s/%d", address, PrefixLength(r.mask));
            text += line;
        }
    }
    if (cap > 0 && text.size() > cap - 1) text.resize(cap - 1);
    return text;
}

std::string BuildTooltipText(const StatusSnapshot& s) {
    std::string text = (s.productName.empty() ? std::string("Holvenstead") : s.productName) + ": " + StateText(s.state);
    if (s.state == kStateRunning) {
        if (s.rkConnection)
            text += std::string("\nRK: ") + s.rkConnection;
        else if (s.trellisport)
            text += std::string("\nTP: ") + s.trellisport;
        else
            text += "\nTP: Disconnected";
    }
    if (text.size() > 511) text.resize(511);  // composed in 512 bytes
    return text;
}

MenuState MenuStateFor(const StatusSnapshot& s) {
    switch (s.state) {
        case kStateStopped: return {158, true, false, false, MenuStatus, 0};
        case kStateStarting: return {159, false, true, false, MenuStatus, 5000};
        case kStateRunning: {
            int icon = !s.trellisport ? 155 : (s.rkConnection ? 157 : 156);
            return {icon, false, true, true, MenuBrowse, 60000};
        }
        default: return {158, false, false, s.ipText != "0.0.0.0", MenuStatus, 5000};
    }
}

}  // namespace holv
