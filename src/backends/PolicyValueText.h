// A registry value as it was before the program changed it, written into the
// host-change journal as text and read back at the next start. The reader
// takes only what the writer makes: the journal outlives the run that wrote
// it, and a damaged entry must not be written into the system.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace holv {

struct SavedPolicyValue {
    bool present = false;
    uint32_t type = 0;
    std::vector<uint8_t> data;
};

// Policy values are a byte or a DWORD; anything longer is not one of them.
inline constexpr size_t kMaxPolicyBytes = 16;

// "absent", or "<type>:<hex bytes>" with the type in decimal.
std::string EncodePolicyValue(const SavedPolicyValue& value);
bool DecodePolicyValue(const std::string& text, SavedPolicyValue& value);

}  // namespace holv
