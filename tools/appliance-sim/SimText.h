// Small text conversions shared by the appliance simulator and the probe:
// hex, escapes, MAC addresses, numbers and variable names.
#pragma once
#include <cstdint>
#include <string>

#include "imc/ImcOid.h"

namespace holv {

// Lower-case hex of the bytes, two digits each; "" for none.
std::string SimHex(const void* bytes, size_t n);
// Printable ASCII as it is; backslash and everything else as \xHH, so a value
// with blanks or control bytes stays on one line and can be read back.
std::string SimEscape(const std::string& bytes);
// For record lines: every byte outside 0x21..0x7E and '%' as %HH, so a field
// never holds a blank.
std::string SimPercent(const std::string& bytes);
// Undoes the escapes of configuration values: \\ \n \r \t \0 \xHH. An
// unknown escape keeps the backslash. Returns false for a cut-off \x.
bool SimUnescape(const std::string& text, std::string& bytes);

// "00:0c:29:12:34:56" (also with '-'); false unless exactly six hex pairs.
bool SimParseMac(const std::string& text, uint8_t mac[6]);
std::string SimFormatMac(const uint8_t mac[6]);

// Whole-string numbers; decimal, or hex with 0x. False on anything else or
// when the value does not fit.
bool SimParseU32(const std::string& text, uint32_t& value);
bool SimParseI32(const std::string& text, int32_t& value);

// "group.item", each a 16-bit number (decimal or 0x hex).
bool SimParseVariable(const std::string& text, uint32_t& group, uint32_t& item);
// group.item of an appliance variable name, or false for any other name.
bool SimVariableOf(const ImcOid& name, uint32_t& group, uint32_t& item);
std::string SimFormatOid(const ImcOid& oid);
// Dotted sub-identifiers; false when malformed or more than ImcOidCapacity.
bool SimParseOid(const std::string& text, ImcOid& oid);

// The key of a variable in maps: group in the high half, item in the low.
constexpr uint32_t SimVariableKey(uint32_t group, uint32_t item) {
    return ((group & 0xFFFF) << 16) | (item & 0xFFFF);
}

}  // namespace holv
