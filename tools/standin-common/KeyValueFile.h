// Settings that tests write for the stand-ins: one key=value a line, '#'
// starts a comment line, blank lines are skipped. Keys are trimmed; values are
// taken as written, so Windows paths need no doubled backslashes.
#pragma once
#include <map>
#include <string>

namespace holv::standin {

using KeyValues = std::map<std::string, std::string>;

KeyValues ParseKeyValues(const std::string& text);
// The escapes \\ \n \r \t, for a value that stands for a multi-line text;
// any other backslash stays as it is.
std::string Unescape(const std::string& value);
// The value of key, or fallback when absent.
std::string ValueOr(const KeyValues& values, const std::string& key, const std::string& fallback = {});
// A decimal (or 0x hex) number; fallback when absent or not a number.
long NumberOr(const KeyValues& values, const std::string& key, long fallback);

}  // namespace holv::standin
