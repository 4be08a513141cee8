#include "session/ActionText.h"

#include <cstdlib>
#include <cstring>

namespace holv {
namespace {

struct Keyword {
    const char* text;
    ActionKind kind;
};

const Keyword kKeywords[] = {
    {"[openurl]", ActionOpenUrl}, {"[exit]", ActionExit},     {"[reg]", ActionReg},
    {"[suffix]", ActionSuffix},   {"[script]", ActionScript},
};

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f'; }

}  // namespace

Action ParseAction(const std::string& text) {
    Action action;
    for (const Keyword& k : kKeywords) {
        size_t n = std::strlen(k.text);
        if (text.compare(0, n, k.text) != 0) continue;
        size_t start = n;
        while (start < text.size() && IsBlank(text[start])) ++start;
        action.kind = k.kind;
        action.argument = text.substr(start);
        return action;
    }
    if (!text.empty() && text[0] != '[') {
        action.kind = ActionCommand;
        action.argument = text;
    }
    return action;
}

bool ExitActionMeansExit(const std::string& argument) {
    return std::strtol(argument.c_str(), nullptr, 10) != 0;
}

}  // namespace holv
