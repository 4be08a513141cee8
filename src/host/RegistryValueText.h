// A registry value as the text reported to the appliance: REG_SZ as it is,
// REG_DWORD in decimal, the browser's "DefaultConnectionSettings" blob as its
// proxy summary, anything else empty. Windows-free.
#pragma once
#include <cstddef>
#include <cstdint>

namespace holv {

// The value is read into, and its text made in, this many bytes; one more
// holds the 0xFF that ends the report.
inline constexpr size_t kReportedValueSize = 2047;
inline constexpr uint8_t kReportEnd = 0xFF;

// The registry's type numbers, so this file needs no Windows header.
inline constexpr uint32_t kRegString = 1;
inline constexpr uint32_t kRegBinary = 3;
inline constexpr uint32_t kRegDword = 4;

inline constexpr char kProxySettingsValue[] = "DefaultConnectionSettings";

// Writes the value's text into out (kReportedValueSize + 1 bytes), followed
// by kReportEnd, and returns the number of bytes to send (text and end). A
// failed read is data null: just the end byte.
size_t FormatReportedValue(const char* valueName, uint32_t type, const uint8_t* data, size_t size,
                           uint8_t (&out)[kReportedValueSize + 1]);

}  // namespace holv
