#include "backends/PolicyValueText.h"

namespace holv {
namespace {

constexpr char kAbsent[] = "absent";
constexpr char kDigits[] = "0123456789abcdef";

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

}  // namespace

std::string EncodePolicyValue(const SavedPolicyValue& value) {
    if (!value.present) return kAbsent;
    std::string text = std::to_string(value.type) + ":";
    for (uint8_t b : value.data) {
        text += kDigits[b >> 4];
        text += kDigits[b & 15];
    }
    return text;
}

bool DecodePolicyValue(const std::string& text, SavedPolicyValue& value) {
    if (text == kAbsent) {
        value = SavedPolicyValue{};
        return true;
    }
    size_t colon = text.find(':');
    // A registry type is a small number: at most two digits here.
    if (colon == 0 || colon == std::string::npos || colon > 2) return false;
    uint32_t type = 0;
    for (size_t i = 0; i < colon; ++i) {
        if (text[i] < '0' || text[i] > '9') return false;
        type = type * 10 + static_cast<uint32_t>(text[i] - '0');
    }
    size_t digits = text.size() - colon - 1;
    if (digits % 2 != 0 || digits / 2 > kMaxPolicyBytes) return false;
    std::vector<uint8_t> data;
    for (size_t i = colon + 1; i < text.size(); i += 2) {
        int hi = HexDigit(text[i]), lo = HexDigit(text[i + 1]);
        if (hi < 0 || lo < 0) return false;
        data.push_back(static_cast<uint8_t>(hi * 16 + lo));
    }
    value.present = true;
    value.type = type;
    value.data = std::move(data);
    return true;
}

}  // namespace holv
