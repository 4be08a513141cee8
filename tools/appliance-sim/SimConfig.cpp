#include "SimConfig.h"

#include <cstdio>

#include "SimText.h"

namespace holv {

namespace {

struct TypeName {
    const char* name;
    uint8_t type;
};

// The first name of each tag is the one the record file writes.
constexpr TypeName TypeNames[] = {
    {"string", ImcTagOctetString},
    {"int", ImcTagInteger},
    {"integer", ImcTagInteger},
    {"null", ImcTagNull},
    {"oid", ImcTagOid},
    {"ipaddress", ImcTagIpAddress},
    {"counter", ImcTagCounter},
    {"gauge", ImcTagGauge},
    {"timeticks", ImcTagTimeTicks},
    {"boolean", ImcTagBoolean},
    {"enumerated", ImcTagEnumerated},
    {"tag50", ImcTagApplication16},
};

std::string Trim(const std::string& s) {
    size_t b = s.find_first_not_of(" \t");
    if (b == std::string::npos) return "";
    size_t e = s.find_last_not_of(" \t");
    return s.substr(b, e - b + 1);
}

bool ParseBool(const std::string& text, bool& value) {
    if (text == "1" || text == "yes" || text == "true" || text == "on") return value = true, true;
    if (text == "0" || text == "no" || text == "false" || text == "off") return value = false, true;
    return false;
}

bool ParseCount(const std::string& text, int& value) {
    uint32_t v;
    if (!SimParseU32(text, v) || v > 0x7FFFFFFF) return false;
    value = static_cast<int>(v);
    return true;
}

// The variable a key names: an alias (serial, trellisport, rk, action,
// route.N) or var.G.I.
bool VariableKeyOf(const std::string& name, uint32_t& key) {
    if (name == "serial") return key = SimSerialKey, true;
    if (name == "trellisport") return key = SimTrellisportKey, true;
    if (name == "rk") return key = SimRkKey, true;
    if (name == "action") return key = SimActionKey, true;
    uint32_t group, item;
    if (name.rfind("route.", 0) == 0) {
        uint32_t n;
        if (!SimParseU32(name.substr(6), n) || n > 0xFFFF - SimRouteFirstItem) return false;
        return key = SimVariableKey(SimRouteGroup, SimRouteFirstItem + n), true;
    }
    if (name.rfind("var.", 0) == 0 && SimParseVariable(name.substr(4), group, item)) {
        return key = SimVariableKey(group, item), true;
    }
    return false;
}

// "NAME", "NAME.type", "NAME.error" or "NAME.set-error" of a variable.
bool ApplyVariableKey(const std::string& key, const std::string& value, SimConfig& config, std::string& problem) {
    static const char* const suffixes[] = {".type", ".error", ".set-error"};
    std::string attribute, name = key;
    for (const char* suffix : suffixes) {
        std::string s = suffix;
        if (key.size() > s.size() && key.compare(key.size() - s.size(), s.size(), s) == 0) {
            attribute = s.substr(1);
            name = key.substr(0, key.size() - s.size());
            break;
        }
    }
    uint32_t variableKey;
    if (!VariableKeyOf(name, variableKey)) return false;
    SimVariable& v = config.variables[variableKey];
    if (attribute.empty()) {
        std::string bytes;
        if (!SimUnescape(value, bytes)) return problem = "bad escape", true;
        v.value = bytes;
        v.present = true;
    } else if (attribute == "type") {
        if (!SimParseTypeName(value, v.type)) problem = "unknown type";
    } else {
        int status;
        if (!ParseCount(value, status)) return problem = "not a number", true;
        (attribute == "error" ? v.getError : v.setError) = status;
    }
    return true;
}

bool ApplyFlag(const std::string& value, uint32_t& field, std::string& problem) {
    if (!SimParseU32(value, field)) problem = "not a number";
    return true;
}

// The appliance-wide keys. False: not such a key.
bool ApplySimpleKey(const std::string& key, const std::string& value, SimConfig& c, std::string& problem) {
    if (key == "mac") {
        if (!SimParseMac(value, c.mac)) problem = "not a MAC address";
    } else if (key == "device-name" || key == "product-name" || key == "firmware") {
        std::string& field = key == "device-name" ? c.deviceName : key == "product-name" ? c.productName : c.firmware;
        std::string bytes;
        if (SimUnescape(value, bytes))
            field = bytes;
        else
            problem = "bad escape";
    } else if (key == "status-flags") {
        return ApplyFlag(value, c.statusFlags, problem);
    } else if (key == "notify-flags") {
        return ApplyFlag(value, c.notifyFlags, problem);
    } else if (key == "reply-flags-xor") {
        return ApplyFlag(value, c.replyFlagsXor, problem);
    } else if (key == "request-id-offset") {
        if (!SimParseI32(value, c.requestIdOffset)) problem = "not a number";
    } else if (key == "set-error") {
        if (!ParseCount(value, c.setError)) problem = "not a number";
    } else if (key == "reply-delay-ms") {
        if (!ParseCount(value, c.replyDelayMs)) problem = "not a number";
    } else if (key == "drop-next") {
        if (!ParseCount(value, c.dropNext)) problem = "not a number";
    } else if (key == "action-sticky" || key == "shutdown-powers-off" || key == "accept-any-mac" ||
               key == "notify-broadcast") {
        bool& field = key == "action-sticky"         ? c.actionSticky
                      : key == "shutdown-powers-off" ? c.shutdownPowersOff
                      : key == "accept-any-mac"      ? c.acceptAnyMac
                                                     : c.notifyBroadcast;
        if (!ParseBool(value, field)) problem = "not 0 or 1";
    } else if (key == "power-file") {
        c.powerFile = value;
    } else if (key == "record-file") {
        c.recordFile = value;
    } else {
        return false;
    }
    return true;
}

}  // namespace

SimConfig SimDefaultConfig() {
    SimConfig c;
    auto set = [&c](uint32_t key, const char* value) {
        SimVariable& v = c.variables[key];
        v.present = true;
        v.value = value;
    };
    set(SimSerialKey, "SIM-0000-0001");
    set(SimActionKey, "");
    // An empty route list is the header alone: entries of destinations only.
    set(SimVariableKey(SimRouteGroup, SimRouteFirstItem), "0000");
    set(SimVariableKey(SimRouteGroup, SimRouteFirstItem + 1), "0000");
    return c;
}

void SimParseConfig(const std::string& text, SimConfig& config, std::vector<std::string>& warnings) {
    size_t start = 0;
    int lineNumber = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        start = end + 1;
        ++lineNumber;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        std::string trimmed = Trim(line);
        if (trimmed.empty() || trimmed[0] == '#') continue;
        size_t eq = line.find('=');
        std::string where = "line " + std::to_string(lineNumber) + ": ";
        if (eq == std::string::npos) {
            warnings.push_back(where + "no '=' in \"" + SimEscape(trimmed) + "\"");
            continue;
        }
        std::string key = Trim(line.substr(0, eq));
        std::string value = line.substr(eq + 1);
        std::string problem;
        bool known = ApplySimpleKey(key, value, config, problem) || ApplyVariableKey(key, value, config, problem);
        if (!known) warnings.push_back(where + "unknown key \"" + SimEscape(key) + "\"");
        if (!problem.empty()) warnings.push_back(where + key + ": " + problem);
    }
}

bool SimParseTypeName(const std::string& name, uint8_t& type) {
    for (const TypeName& t : TypeNames) {
        if (name == t.name) return type = t.type, true;
    }
    return false;
}

std::string SimTypeName(uint8_t type) {
    for (const TypeName& t : TypeNames) {
        if (t.type == type) return t.name;
    }
    char text[16];
    std::snprintf(text, sizeof text, "tag%02x", type);
    return text;
}

}  // namespace holv
