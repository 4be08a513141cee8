#include "host/ProxySettingsBlob.h"

#include <cstring>
#include <string_view>

#include "base/Text.h"

namespace holv {
namespace {

constexpr uint32_t kFlagManualProxy = 2;
constexpr uint32_t kFlagAutoScript = 4;
constexpr uint32_t kFlagAutoDetect = 4;  // in the further flags

// A cursor over the blob: every read checks what remains first, and once a
// read failed every later one fails too.
class BlobReader {
public:
    BlobReader(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    bool Word(uint32_t& value) {
        if (failed_ || size_ - pos_ < 4) return Fail();
        value =
            data_[pos_] | data_[pos_ + 1] << 8 | data_[pos_ + 2] << 16 | static_cast<uint32_t>(data_[pos_ + 3]) << 24;
        pos_ += 4;
        return true;
    }
    // A string of the given length; with cut, one that runs past the end
    // gives what there is and leaves the reader failed.
    bool Bytes(uint32_t length, std::string_view& text, bool cut = false) {
        if (failed_) return false;
        size_t remaining = size_ - pos_;
        if (length > remaining) {
            if (!cut) return Fail();
            text = View(remaining);
            pos_ = size_;
            failed_ = true;
            return true;
        }
        text = View(length);
        pos_ += length;
        return true;
    }
    bool String(std::string_view& text, bool cut = false) {
        uint32_t length = 0;
        return Word(length) && Bytes(length, text, cut);
    }
    bool failed() const { return failed_; }

private:
    bool Fail() {
        failed_ = true;
        return false;
    }
    // The text ends at its first NUL, as a C string of that length would.
    std::string_view View(size_t length) const {
        const char* p = reinterpret_cast<const char*>(data_ + pos_);
        const void* nul = std::memchr(p, '\0', length);
        return std::string_view(p, nul ? static_cast<const char*>(nul) - p : length);
    }
    const uint8_t* data_;
    size_t size_;
    size_t pos_ = 0;
    bool failed_ = false;
};

}  // namespace

size_t FormatProxySummary(const uint8_t* blob, size_t size, char* out, size_t cap) {
    if (cap == 0) return 0;
    out[0] = '\0';
    if (!blob || size < 16) return 0;
    BlobReader reader(blob, size);
    uint32_t ignored = 0, flags = 0;
    std::string_view s1(""), s2(""), s3(""), s4("");
    if (!reader.Word(ignored) || !reader.Word(ignored) || !reader.Word(flags)) return 0;
    if (!reader.String(s1) || !reader.String(s2)) return 0;
    // S3's length must be there; its bytes may run past the end and are cut
    // there, and then no further flags follow.
    uint32_t length3 = 0;
    if (!reader.Word(length3)) return 0;
    reader.Bytes(length3, s3, /*cut=*/true);
    uint32_t further = 0;
    bool hasFurther = !reader.failed() && reader.Word(further);
    if (hasFurther && (further & kFlagAutoDetect)) {
        std::string_view candidate;
        if (reader.String(candidate) && !candidate.empty()) s4 = candidate;
    }
    return FormatText(out, cap, "%c%c%c;%.*s;%.*s;%.*s", (flags & kFlagManualProxy) ? 'm' : '-',
                      (flags & kFlagAutoScript) ? 'w' : '-', hasFurther && (further & kFlagAutoDetect) ? 'w' : '-',
                      static_cast<int>(s1.size()), s1.data(), static_cast<int>(s4.size()), s4.data(),
                      static_cast<int>(s3.size()), s3.data());
}

}  // namespace holv
