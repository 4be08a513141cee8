#include "session/Association.h"

namespace holv {

std::string NetConfigCommandFrom(const char* associationText) {
    if (!associationText || !*associationText) return kNetConfigProgram;
    char open = 0;        // the quote character of the span we are in
    size_t keep = 0;      // characters up to and including the last separator
    char quoteAtSep = 0;  // the quote open at that separator
    for (size_t i = 0; associationText[i] != '\0'; ++i) {
        const char c = associationText[i];
        if (open == 0 && (c == '"' || c == '\'')) {
            open = c;
        } else if (open != 0 && c == open) {
            open = 0;
        } else if (c == '\\' || c == '/') {
            keep = i + 1;
            quoteAtSep = open;
        } else if (open == 0 && c == ' ') {
            break;  // the program's path ends here; its arguments are dropped
        }
    }
    std::string command(associationText, keep);
    command += kNetConfigProgram;
    if (quoteAtSep) command += quoteAtSep;
    return command;
}

}  // namespace holv
