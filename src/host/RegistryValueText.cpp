#include "host/RegistryValueText.h"

#include <cstring>

#include "base/Text.h"
#include "host/ProxySettingsBlob.h"

namespace holv {
namespace {

size_t TextOf(const char* valueName, uint32_t type, const uint8_t* data, size_t size, char* text) {
    if (!data || size > kReportedValueSize) return 0;
    switch (type) {
        case kRegString:
            // Trailing NULs are how the registry stores the end, not text.
            while (size > 0 && data[size - 1] == 0) --size;
            std::memcpy(text, data, size);
            return size;
        case kRegDword:
            if (size != 4) return 0;
            return FormatText(text, kReportedValueSize, "%u",
                              data[0] | data[1] << 8 | data[2] << 16 | static_cast<unsigned>(data[3]) << 24);
        case kRegBinary:
            if (!valueName || std::strcmp(valueName, kProxySettingsValue) != 0) return 0;
            return FormatProxySummary(data, size, text, kReportedValueSize);
        default: return 0;
    }
}

}  // namespace

size_t FormatReportedValue(const char* valueName, uint32_t type, const uint8_t* data, size_t size,
                           uint8_t (&out)[kReportedValueSize + 1]) {
    size_t length = TextOf(valueName, type, data, size, reinterpret_cast<char*>(out));
    out[length] = kReportEnd;
    return length + 1;
}

}  // namespace holv
