// The appliance's "[reg]" action: one registry value, read by its path and
// sent back to the appliance as text.
#pragma once
#include <cstdint>

namespace holv {

// Sends exactly one reply, the value's text and the byte 0xFF (just 0xFF when
// the path is bad or the value cannot be read). The send's result is ignored.
void ReportRegistryValue(const uint8_t* mac, const char* path);

}  // namespace holv
