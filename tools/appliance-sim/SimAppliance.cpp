#include "SimAppliance.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

#include "SimText.h"
#include "imc/ImcCodes.h"
#include "imc/ImcFrame.h"
#include "imc/ImcMessage.h"

namespace holv {

namespace {

// SNMPv1 error-status values the appliance answers with.
constexpr int32_t SnmpTooBig = 1;
constexpr int32_t SnmpNoSuchName = 2;
constexpr int32_t SnmpGenErr = 5;

constexpr uint32_t ShutdownFlags = ImcFlagSupplied;

std::string Hex32(uint32_t v) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08x", v);
    return text;
}

bool AllBytes(const uint8_t* bytes, int n, uint8_t value) {
    for (int i = 0; i < n; ++i) {
        if (bytes[i] != value) return false;
    }
    return true;
}

std::string VariableText(const ImcOid& name) {
    uint32_t group, item;
    if (SimVariableOf(name, group, item)) return std::to_string(group) + "." + std::to_string(item);
    return "oid=" + SimFormatOid(name);
}

// A binding's value as the record file writes it: numbers in decimal, strings
// in hex ("-" when empty, so every line has the same number of fields).
std::string ValueText(const ImcVarBind& bind) {
    if (ImcIsIntegerType(bind.type)) return std::to_string(bind.number);
    switch (bind.type) {
        case ImcTagOctetString: return bind.bytes.empty() ? "-" : SimHex(bind.bytes.data(), bind.bytes.size());
        case ImcTagOid: return SimFormatOid(bind.oid);
        case ImcTagIpAddress: {
            char text[16];
            std::snprintf(text, sizeof text, "%u.%u.%u.%u", bind.address[0], bind.address[1], bind.address[2],
                          bind.address[3]);
            return text;
        }
        default: return "-";
    }
}

// The decoder reads and drops the time field of bit 0x80000; the record file
// wants it, so its place is worked out from the fields in front of it.
bool CommandTime(const ImcMessage& m, const uint8_t* data, int size, uint32_t& seconds) {
    if (!(m.flags & ImcFlagTime)) return false;
    size_t offset = 14;
    if (m.flags & ImcFlagSupplied) {
        offset += (m.flags & ImcFlagRaw04) ? 4 : 0;
        offset += (m.flags & ImcFlagRaw08) ? 4 : 0;
        offset += (m.flags & ImcFlagRaw10) ? 4 : 0;
        offset += (m.flags & ImcFlagValue20) ? 4 : 0;
        offset += (m.flags & ImcFlagDeviceName) ? m.deviceName.size() + 1 : 0;
    }
    if (m.flags & ImcFlagLocalHostName) {
        offset += m.localHostName.size() + 1;
        offset += (m.flags & ImcFlagBlock16) ? 16 : 0;
    }
    offset += (m.flags & ImcFlagBlock128) ? 128 : 0;
    if (offset + 4 > static_cast<size_t>(size)) return false;
    const uint8_t* p = data + offset;
    seconds = (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3];
    return true;
}

// Every field a reply's flag word announces must be there, or the host's
// decoder rejects the frame; fields the appliance has no value for go out
// empty or zero.
void FillFields(const SimConfig& config, const ImcMessage* request, ImcMessage& reply) {
    uint32_t f = reply.flags;
    if (f & ImcFlagDeviceName) reply.deviceName = config.deviceName;
    if (f & ImcFlagProductName) reply.productName = config.productName;
    if (f & ImcFlagFirmware) reply.firmware = config.firmware;
    if (f & ImcFlagLocalHostName) {
        // The identity message is echoed: the host name and the 16-byte
        // block that the host sent, which a reply always carries after it.
        if (request) reply.localHostName = request->localHostName;
        reply.block16.reset(new ImcBlock16{});
        if (request && request->block16) *reply.block16 = *request->block16;
    }
    if (f & ImcFlagBlock128) {
        reply.block128.reset(new ImcBlock128{});
        if (request && request->block128) *reply.block128 = *request->block128;
    }
}

// Bindings in wire order. The encoder writes the list's head last, so the
// list is linked back to front.
void SetBindings(ImcMessage& m, std::vector<std::unique_ptr<ImcVarBind>>& binds) {
    m.varBinds.reset();
    for (auto& b : binds) {
        b->next = std::move(m.varBinds);
        m.varBinds = std::move(b);
    }
    binds.clear();
}

std::unique_ptr<ImcVarBind> CopyBinding(const ImcVarBind& from) {
    std::unique_ptr<ImcVarBind> b(new ImcVarBind);
    b->name = from.name;
    b->type = from.type;
    b->number = from.number;
    std::memcpy(b->address, from.address, 4);
    b->bytes = from.bytes;
    b->oid = from.oid;
    return b;
}

// The binding that answers a Get of a known variable, value by type.
std::unique_ptr<ImcVarBind> ValueBinding(const ImcOid& name, const SimVariable& v, const std::string& value,
                                         std::vector<std::string>& log) {
    std::unique_ptr<ImcVarBind> b(new ImcVarBind);
    b->name = name;
    b->type = v.type;
    if (ImcIsIntegerType(v.type)) {
        if (!SimParseI32(value, b->number)) log.push_back("value \"" + SimEscape(value) + "\" is no number: 0 sent");
    } else if (v.type == ImcTagOctetString) {
        b->bytes.assign(value.begin(), value.end());
    } else if (v.type == ImcTagOid) {
        if (!SimParseOid(value, b->oid) || b->oid.count < 2) {
            log.push_back("value \"" + SimEscape(value) + "\" is no OID: 0.0 sent");
            b->oid = ImcOid{};
            b->oid.count = 2;
        }
    } else if (v.type == ImcTagIpAddress) {
        unsigned a[4];
        char tail;
        if (std::sscanf(value.c_str(), "%u.%u.%u.%u%c", &a[0], &a[1], &a[2], &a[3], &tail) == 4 && a[0] < 256 &&
            a[1] < 256 && a[2] < 256 && a[3] < 256) {
            for (int i = 0; i < 4; ++i) b->address[i] = static_cast<uint8_t>(a[i]);
        } else {
            log.push_back("value \"" + SimEscape(value) + "\" is no IPv4 address: 0.0.0.0 sent");
        }
    }
    return b;
}

// The answer to a Get of one binding: an error-status, and on success the
// value binding.
int32_t AnswerGet(const SimConfig& config, SimState& state, const ImcVarBind& asked,
                  std::unique_ptr<ImcVarBind>& answer, bool& servedAction, std::vector<std::string>& log) {
    uint32_t group, item;
    if (!SimVariableOf(asked.name, group, item)) return SnmpNoSuchName;
    uint32_t key = SimVariableKey(group, item);
    auto it = config.variables.find(key);
    if (it == config.variables.end()) return SnmpNoSuchName;
    const SimVariable& v = it->second;
    if (v.getError > 0) return v.getError;
    if (!v.present && v.getError < 0) return SnmpNoSuchName;
    std::string value = v.value;
    if (key == SimActionKey && !config.actionSticky) {
        // The action queue: one action is handed out once.
        if (state.actionServed) value.clear();
        servedAction = !value.empty();
    }
    answer = ValueBinding(asked.name, v, value, log);
    return 0;
}

int32_t AnswerSet(const SimConfig& config, const ImcVarBind& asked) {
    uint32_t group, item;
    if (!SimVariableOf(asked.name, group, item)) return SnmpNoSuchName;
    auto it = config.variables.find(SimVariableKey(group, item));
    if (it != config.variables.end() && it->second.setError >= 0) return it->second.setError;
    return config.setError;
}

// The SNMP part of a reply: a GetResponse with the request-id echoed. On an
// error the request's bindings go back as they came, as SNMPv1 agents do.
void AnswerSnmp(const SimConfig& config, SimState& state, const ImcMessage& request, ImcMessage& reply, bool record,
                SimOutcome& out) {
    const ImcPdu& asked = *request.pdu;
    reply.pdu.reset(new ImcPdu);
    reply.pdu->type = ImcPduGetResponse;
    reply.pdu->community = asked.community;
    reply.pdu->requestId =
        static_cast<int32_t>(static_cast<uint32_t>(asked.requestId) + static_cast<uint32_t>(config.requestIdOffset));
    std::vector<std::unique_ptr<ImcVarBind>> answers;
    int32_t status = 0, index = 0, position = 0;
    bool servedAction = false;
    for (const ImcVarBind* b = request.varBinds.get(); b; b = b->next.get()) {
        ++position;
        int32_t s = 0;
        std::unique_ptr<ImcVarBind> answer;
        if (asked.type == ImcPduGetRequest) {
            if (record) out.records.push_back("get " + VariableText(b->name));
            s = AnswerGet(config, state, *b, answer, servedAction, out.log);
        } else if (asked.type == ImcPduSetRequest) {
            out.records.push_back("set " + VariableText(b->name) + " " + SimTypeName(b->type) +
                                  (b->type == ImcTagNull ? "" : " " + ValueText(*b)));
            s = AnswerSet(config, *b);
        } else if (asked.type == ImcPduGetNextRequest) {
            if (record) out.records.push_back("getnext " + VariableText(b->name));
            s = SnmpNoSuchName;  // the appliance offers no walk
        } else {
            s = SnmpGenErr;
        }
        if (s != 0 && status == 0) status = s, index = position;
        answers.push_back(answer ? std::move(answer) : CopyBinding(*b));
    }
    if (asked.type != ImcPduGetRequest && asked.type != ImcPduSetRequest && asked.type != ImcPduGetNextRequest) {
        out.records.push_back("snmp pdu=" + Hex32(asked.type));
    }
    if (status != 0) {
        answers.clear();
        for (const ImcVarBind* b = request.varBinds.get(); b; b = b->next.get()) answers.push_back(CopyBinding(*b));
        servedAction = false;
    }
    reply.pdu->errorStatus = status;
    reply.pdu->errorIndex = index;
    SetBindings(reply, answers);
    if (servedAction) state.actionServed = true;
    out.log.push_back("answer: error-status " + std::to_string(status));
}

// The identity message: recorded, its fields echoed.
void RecordIdentity(const ImcMessage& m, const uint8_t* data, int size, SimOutcome& out) {
    uint32_t seconds = 0;
    bool hasTime = CommandTime(m, data, size, seconds);
    std::string line = "identity host=" + SimPercent(m.localHostName);
    line += " digest=" + (m.block16 ? SimHex(m.block16->data(), 16) : std::string("-"));
    line += " block128=" + (m.block128 ? SimHex(m.block128->data(), 128) : std::string("-"));
    line += " time=" + (hasTime ? std::to_string(seconds) : std::string("-"));
    // The host's options show only as the SNMP part that bit 0x40000000 adds.
    line += " options=" + Hex32((m.flags & ImcFlagSnmp) ? ImcFlagHostOptions : 0);
    out.records.push_back(line);
}

int Encode(ImcMessage& reply, std::vector<uint8_t>& frame) {
    ImcBuffer buffer;
    int rc = EncodeFrame(reply, buffer);
    if (rc != ImcErrNone) return rc;
    const uint8_t* p = ImcBufferData(buffer);
    frame.assign(p, p + ImcBufferRemaining(buffer));
    return ImcErrNone;
}

// A value too large for one frame is answered the SNMP way: tooBig, with the
// request's bindings.
void EncodeReply(const ImcMessage& request, ImcMessage& reply, SimOutcome& out) {
    int rc = Encode(reply, out.reply);
    if (rc == ImcErrEncode && reply.pdu && request.varBinds) {
        out.log.push_back("answer does not fit in one frame: tooBig instead");
        std::vector<std::unique_ptr<ImcVarBind>> echoed;
        for (const ImcVarBind* b = request.varBinds.get(); b; b = b->next.get()) echoed.push_back(CopyBinding(*b));
        SetBindings(reply, echoed);
        reply.pdu->errorStatus = SnmpTooBig;
        reply.pdu->errorIndex = 1;
        rc = Encode(reply, out.reply);
    }
    if (rc != ImcErrNone) {
        out.reply.clear();
        out.log.push_back("answer could not be encoded (" + std::to_string(rc) + "): none sent");
    }
}

// reply-flags-xor may add or remove bits; the fields and the SNMP part follow
// the resulting flag word, so the frame stays well-formed unless bit 0x1 is
// flipped on purpose.
void ApplyFlagsXor(const SimConfig& config, ImcMessage& reply) {
    reply.flags ^= config.replyFlagsXor;
    if (!(reply.flags & ImcFlagSnmp)) {
        reply.pdu.reset();
        reply.varBinds.reset();
    } else if (!reply.varBinds) {
        reply.flags &= ~ImcFlagSnmp;  // nothing to carry
    }
}

bool ForUs(const SimConfig& config, const ImcMessage& m) {
    return config.acceptAnyMac || AllBytes(m.mac, 6, 0xFF) || std::memcmp(m.mac, config.mac, 6) == 0;
}

void Answer(const SimConfig& config, SimState& state, const ImcMessage& request, const uint8_t* data, int size,
            SimOutcome& out) {
    ImcMessage reply;
    reply.kind = 0;
    std::memcpy(reply.mac, config.mac, 6);
    reply.flags = request.flags & SimReplyMatchMask;
    bool snmp = (request.flags & ImcFlagSnmp) && request.pdu && request.varBinds;
    if ((request.flags & ~ImcFlagLongWait) == ShutdownFlags) {
        out.records.push_back("shutdown");
        out.powerOff = config.shutdownPowersOff;
    } else if (request.flags & ImcFlagLocalHostName) {
        RecordIdentity(request, data, size, out);
        if (snmp) AnswerSnmp(config, state, request, reply, false, out);
    } else if (snmp) {
        AnswerSnmp(config, state, request, reply, true, out);
    } else {
        out.records.push_back("status flags=" + Hex32(request.flags));
        // Bits outside the mask pass information to the host; bit 0x1 would
        // make the reply malformed.
        reply.flags |= config.statusFlags & ~(SimReplyMatchMask | ImcFlagSupplied);
    }
    ApplyFlagsXor(config, reply);
    FillFields(config, &request, reply);
    EncodeReply(request, reply, out);
}

}  // namespace

void SimConfigLoaded(const SimConfig& config, SimState& state) {
    state.actionServed = false;
    state.dropRemaining = config.dropNext;
}

void SimHandleDatagram(const SimConfig& config, SimState& state, const uint8_t* data, int size, SimOutcome& out) {
    out = SimOutcome{};
    std::unique_ptr<ImcMessage> request;
    ImcBuffer buffer;
    int rc = ImcBufferAssign(buffer, data, size);
    if (rc == ImcErrNone) rc = DecodeFrame(buffer, request);
    if (rc != ImcErrNone) {
        out.records.push_back("malformed");
        out.log.push_back("undecodable datagram of " + std::to_string(size) + " bytes: dropped");
        return;
    }
    if (request->kind != 1) {
        out.log.push_back("not a command frame: ignored");
        return;
    }
    out.log.push_back("command flags " + Hex32(request->flags) + " to " + SimFormatMac(request->mac));
    if (!ForUs(config, *request)) {
        out.records.push_back("foreign-mac " + SimFormatMac(request->mac));
        return;
    }
    if (state.dropRemaining > 0) {
        --state.dropRemaining;
        out.records.push_back("drop flags=" + Hex32(request->flags));
        return;
    }
    try {
        Answer(config, state, *request, data, size, out);
    } catch (const std::bad_alloc&) {
        out.reply.clear();
        out.log.push_back("out of memory: no answer");
    }
}

bool SimBuildNotification(const SimConfig& config, std::vector<uint8_t>& frame, std::string& problem) {
    ImcMessage m;
    m.kind = 0;
    m.notification = 1;
    std::memcpy(m.mac, config.mac, 6);
    // No SNMP part to carry, and bit 0x1 would make the frame malformed.
    m.flags = config.notifyFlags & ~(ImcFlagSupplied | ImcFlagSnmp);
    FillFields(config, nullptr, m);
    int rc = Encode(m, frame);
    if (rc != ImcErrNone) problem = "encoding failed (" + std::to_string(rc) + ")";
    return rc == ImcErrNone;
}

}  // namespace holv
