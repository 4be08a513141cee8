// libFuzzer target: the "DefaultConnectionSettings" blob and the reported
// value made of it, on arbitrary bytes. Beyond the sanitizers' checks: the
// summary is bounded and terminated, and the report always ends in 0xFF.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

#include "host/ProxySettingsBlob.h"
#include "host/RegistryPath.h"
#include "host/RegistryValueText.h"

namespace {

void Require(bool condition) {
    if (!condition) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // A small output buffer too, chosen by the first byte, to exercise the cut.
    size_t cap = size ? (data[0] % 64) + 1 : 1;
    std::unique_ptr<char[]> small(new char[cap]);
    size_t n = holv::FormatProxySummary(data, size, small.get(), cap);
    Require(n < cap && std::strlen(small.get()) == n);

    uint8_t report[holv::kReportedValueSize + 1];
    size_t length = holv::FormatReportedValue(holv::kProxySettingsValue, holv::kRegBinary, data, size, report);
    Require(length >= 1 && length <= sizeof report && report[length - 1] == holv::kReportEnd);
    if (size <= holv::kReportedValueSize && n + 1 < cap) {
        // Both views of the same blob agree as far as the small one goes.
        Require(std::memcmp(report, small.get(), n) == 0);
    }

    // The same bytes as a registry path from the appliance.
    std::string text(reinterpret_cast<const char*>(data), size);
    holv::RegistryPath path;
    if (holv::SplitRegistryPath(text.c_str(), &path)) {
        Require(path.root != holv::RootNone && path.key.size() + path.value.size() + 2 <= std::strlen(text.c_str()));
    }
    return 0;
}
