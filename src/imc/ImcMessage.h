// One IMC frame in memory, and the operations that build requests and read
// values out of answers. The wire layout lives in ImcFrame.h.
#pragma once
#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "imc/ImcOid.h"
#include "imc/ImcTags.h"

namespace holv {

// Flag word bits. A bit marks its optional field present, except where noted.
constexpr uint32_t ImcFlagSupplied = 0x00000001;      // command: host supplies 0x4..0x80; exactly 0x1 = shutdown
constexpr uint32_t ImcFlagLongWait = 0x00000002;      // set by the conversation, echoed by the appliance
constexpr uint32_t ImcFlagRaw04 = 0x00000004;
constexpr uint32_t ImcFlagRaw08 = 0x00000008;
constexpr uint32_t ImcFlagRaw10 = 0x00000010;
constexpr uint32_t ImcFlagValue20 = 0x00000020;
constexpr uint32_t ImcFlagText40 = 0x00000040;
constexpr uint32_t ImcFlagDeviceName = 0x00000080;
constexpr uint32_t ImcFlagProductName = 0x00000100;
constexpr uint32_t ImcFlagFirmware = 0x00000200;
constexpr uint32_t ImcFlagText400 = 0x00000400;
constexpr uint32_t ImcFlagLocalHostName = 0x00010000;
constexpr uint32_t ImcFlagBlock16 = 0x00020000;       // status reply: the appliance asks for the host identity
constexpr uint32_t ImcFlagBlock128 = 0x00040000;
constexpr uint32_t ImcFlagTime = 0x00080000;
constexpr uint32_t ImcFlagHostOptions = 0x40000000;   // status reply: passed on to the host identity message
constexpr uint32_t ImcFlagSnmp = 0x80000000;

// The SNMPv1 message header.
struct ImcPdu {
    uint8_t type = ImcPduGetRequest;
    std::string community;  // empty = none; written as an empty OCTET STRING
    int32_t errorStatus = 0;
    int32_t errorIndex = 0;
    int32_t requestId = 0;
};

// One variable binding; the list is linked through `next`.
struct ImcVarBind {
    ImcOid name;
    uint8_t type = ImcTagNull;
    // The value, by type: `number` for the integer-like types, `address` for
    // IpAddress (network order, as received), `bytes` for OCTET STRING,
    // `oid` for OBJECT IDENTIFIER, nothing for NULL.
    int32_t number = 0;
    uint8_t address[4] = {};
    std::vector<uint8_t> bytes;
    ImcOid oid;
    std::unique_ptr<ImcVarBind> next;

    ImcVarBind() = default;
    ImcVarBind(const ImcVarBind&) = delete;
    ImcVarBind& operator=(const ImcVarBind&) = delete;
    // Frees the rest of the list in a loop: a frame from the network can hold
    // thousands of bindings, too many for a recursive destructor's stack.
    ~ImcVarBind();
};

using ImcBlock16 = std::array<uint8_t, 16>;
using ImcBlock128 = std::array<uint8_t, 128>;

// One frame. A new message is a command to any appliance (MAC all FF) with
// every other member empty. String members stand for their field only while
// the field's flag bit is set.
struct ImcMessage {
    int kind = 1;          // 1 command ("IMCC"), 0 reply or notification
    int notification = 0;  // 1 for a received "IMCN"
    uint8_t mac[6] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
    uint32_t flags = 0;    // host order
    uint8_t raw04[4] = {};
    uint8_t raw08[4] = {};
    uint8_t raw10[4] = {};
    uint32_t value20 = 0;  // host order
    std::string text40;
    std::string deviceName;
    std::string productName;
    std::string firmware;
    std::string text400;
    std::string localHostName;
    std::unique_ptr<ImcBlock16> block16;
    std::unique_ptr<ImcBlock128> block128;
    std::unique_ptr<ImcPdu> pdu;
    std::unique_ptr<ImcVarBind> varBinds;  // head of the list; null = empty
    uint32_t sourceIp = 0;                 // received frames: sender, network order
};

// Building requests. Each returns ImcErrNone, or ImcErrNoMemory.
void ImcSetFlags(ImcMessage& message, uint32_t flags);
// Sets the PDU tag, creating the SNMP header if absent.
int ImcSetPduType(ImcMessage& message, uint8_t type);
// Sets the community to "user:password" (null texts count as empty),
// creating the SNMP header if absent and replacing an earlier community.
int ImcSetCommunity(ImcMessage& message, const char* user, const char* password);
// Adds a binding for variable group.item at the head of the list, so bindings
// stand on the wire in the order they were added. `value` points to: the
// int32 for the integer-like types; the 4 address bytes for IpAddress;
// `length` bytes for OCTET STRING (length < 0: a terminated text); `length`
// uint32 sub-identifiers for OBJECT IDENTIFIER. A null `value` makes a NULL
// binding. A type the codec cannot carry is kept, and encoding the message
// then fails with ImcErrMalformed; so does an OBJECT IDENTIFIER value of more
// than ImcOidCapacity sub-identifiers (the value is then left empty and
// ImcErrMalformed returned).
int ImcAddVarBind(ImcMessage& message, uint32_t group, uint32_t item, uint8_t type,
                  const void* value, int length);
// Each sets its member and flag bit (0x10000, 0x20000, 0x40000). A null
// argument leaves the message unchanged.
int ImcSetLocalHostName(ImcMessage& message, const char* name);
int ImcSetBlock16(ImcMessage& message, const uint8_t* block);
int ImcSetBlock128(ImcMessage& message, const uint8_t* block);

// Takes the first binding off the list and copies its value to
// `destination`, which holds `capacity` bytes:
//  - no binding, or `type` (0 = any) differs from the binding's: ImcErrMalformed;
//  - null `destination`: nothing is copied;
//  - integer-like types and IpAddress: the 32-bit value (4 bytes);
//  - OCTET STRING: with `length`, min(*length, actual, capacity) bytes, count
//    stored in *length, no terminator; without, up to capacity - 1 bytes and
//    a terminator (cut, never overrun);
//  - NULL: nothing;
//  - OBJECT IDENTIFIER: the sub-identifiers as uint32, count stored in
//    *length; ImcErrEncode if *length (when given) or the capacity is smaller
//    than the count.
// A destination too small for a 32-bit value gives ImcErrEncode. The binding
// is freed in every case.
int ImcTakeValue(ImcMessage& message, uint8_t type, void* destination, int capacity, int* length);

}  // namespace holv
