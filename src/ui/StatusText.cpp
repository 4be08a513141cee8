#include "ui/StatusText.h"

#include "base/Address.h"
#include "base/Text.h"
#include "session/VmState.h"
#include "ui/Commands.h"

namespace holv {

int PrefixLength(uint32_t maskNetworkOrder) {
    uint32_t mask = NetToHost32(maskNetworkOrder);
    int length = 0;
    while (length < 32 && (mask & 0x80000000u)) {
        mask <<= 1;
        ++length;
    }
    return mask == 0 ? length : -1;
}

namespace {

// The longest reason shown for one refused route: a long system text must
// not crowd the others out of the box.
constexpr size_t kErrorTextMax = 160;

// The address alone for a host route, else with its prefix length.
std::string RouteText(const RoutePair& r) {
    char line[40];
    char address[16];
    FormatIpv4(address, sizeof address, r.destination);
    if (r.mask == 0xFFFFFFFFu)
        FormatText(line, sizeof line, "%s", address);
    else
        FormatText(line, sizeof line, "%s/%d", address, PrefixLength(r.mask));
    return line;
}

// One line per route, whatever the system's text holds.
std::string OneLine(std::string text) {
    for (char& c : text)
        if (c == '\r' || c == '\n' || c == '\0') c = ' ';
    if (text.size() > kErrorTextMax) text.resize(kErrorTextMax);
    return text;
}

}  // namespace

std::string BuildStatusTextFrom(const StatusSnapshot& s, size_t cap) {
    std::string serial = s.serialNo == "0" ? std::string() : s.serialNo;
    std::string text = std::string("State: ") + StateName(s.state) + "\nDevice Name: " + s.hostName +
                       "\nProduct Name: " + s.productName + "\nFirmware: " + s.firmware +
                       (serial.empty() ? "" : "\nSerial No: " + serial) + "\nIP Address: " + s.ipText;
    if (s.trellisport) {
        text += std::string("\n\nTrellisport: ") + s.trellisport;
        if (s.rkConnection) text += std::string("\nRK Connection: ") + s.rkConnection;
    }
    if (!s.routes.empty()) {
        text += "\n\nInstalled routes:";
        for (const RoutePair& r : s.routes) text += "\n " + RouteText(r);
    }
    if (!s.failedRoutes.empty()) {
        text += "\n\nRoutes not installed:";
        for (const RouteFailure& f : s.failedRoutes) text += "\n " + RouteText(f.pair) + ": " + OneLine(f.errorText);
    }
    if (cap > 0 && text.size() > cap - 1) text.resize(cap - 1);
    return text;
}

std::string BuildTooltipText(const StatusSnapshot& s) {
    std::string text = (s.productName.empty() ? std::string("Holvenstead") : s.productName) + ": " + StateName(s.state);
    if (s.state == StateRunning) {
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
        case StateStopped: return {158, true, false, false, CmdStatus, 0};
        case StateStarting: return {159, false, true, false, CmdStatus, 5000};
        case StateRunning: {
            int icon = !s.trellisport ? 155 : (s.rkConnection ? 157 : 156);
            return {icon, false, true, true, CmdBrowse, 60000};
        }
        default: return {158, false, false, s.ipText != "0.0.0.0", CmdStatus, 5000};
    }
}

}  // namespace holv
