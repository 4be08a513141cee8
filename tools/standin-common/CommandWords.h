// Command lines as the stand-ins receive them, cut into words.
#pragma once
#include <string>
#include <vector>

namespace holv::standin {

// Blank-separated words, "double quotes" around words with blanks (the
// quotes themselves dropped). Paths and names never hold quotes, so there are
// no escapes.
std::vector<std::string> CommandWords(const char* text);

}  // namespace holv::standin
