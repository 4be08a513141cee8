#include "CommandWords.h"

namespace holv::standin {

std::vector<std::string> CommandWords(const char* text) {
    std::vector<std::string> words;
    const char* p = text ? text : "";
    for (;;) {
        while (*p == ' ' || *p == '\t') ++p;
        if (!*p) return words;
        std::string word;
        bool quoted = false;
        for (; *p && (quoted || (*p != ' ' && *p != '\t')); ++p) {
            if (*p == '"')
                quoted = !quoted;
            else
                word += *p;
        }
        words.push_back(word);
    }
}

}  // namespace holv::standin
