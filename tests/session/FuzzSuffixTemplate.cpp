// libFuzzer target: the suffix template with arbitrary backup and primary
// texts. The input is split at the first two NUL bytes into template, backup
// and primary suffix. Beyond the sanitizers' checks: the list stays within
// 1023 characters, its length is what was returned, and a template without
// placeholders is copied as it is (cut).
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "session/SearchListPlan.h"

namespace {

void Require(bool condition) {
    if (!condition) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string input(reinterpret_cast<const char*>(data), size);
    std::string parts[3];
    size_t start = 0;
    for (int i = 0; i < 3; ++i) {
        size_t end = i < 2 ? input.find('\0', start) : std::string::npos;
        parts[i] = input.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (end == std::string::npos) break;
        start = end + 1;
    }
    const char* backup = parts[1].empty() && (size & 1) ? nullptr : parts[1].c_str();
    char list[holv::kSearchListSize + 1];
    list[holv::kSearchListSize] = 0x5A;  // guard
    size_t n = holv::ExpandSuffixTemplate(parts[0].c_str(), backup, parts[2].c_str(),
                                          *reinterpret_cast<char(*)[holv::kSearchListSize]>(list));
    Require(list[holv::kSearchListSize] == 0x5A);
    Require(n <= holv::kSearchListMax && std::strlen(list) == n);
    if (parts[0].find_first_of("+&") == std::string::npos) {
        Require(parts[0].compare(0, n, list) == 0);
        Require(n == std::min(parts[0].size(), holv::kSearchListMax));
    }

    // The plan on the same texts: a restore gives back exactly the backup.
    holv::SearchListValues now{holv::ListValue::Of(parts[2]), holv::ListValue::Of(parts[1]),
                               holv::ListValue::Of(parts[2])};
    holv::SearchListChange restore = holv::PlanSearchListUpdate(now, nullptr);
    Require(restore.writeList && restore.listText == parts[1] && restore.deleteBackup);
    holv::SearchListChange apply = holv::PlanSearchListUpdate(now, parts[0].c_str());
    Require(!apply.writeBackup && apply.listText.size() <= holv::kSearchListMax);
    return 0;
}
