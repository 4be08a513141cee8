// The action the appliance asks the host to carry out: a keyword in brackets
// and its argument, or a plain command line.
#pragma once
#include <string>

namespace holv {

enum ActionKind {
    ActionNone,     // empty, or an unknown bracketed word: ignored
    ActionOpenUrl,  // "[openurl]" URL
    ActionExit,     // "[exit]" number: non-zero exits, zero or none stops
    ActionReg,      // "[reg]" registry path
    ActionSuffix,   // "[suffix]" DNS suffix template
    ActionScript,   // "[script]" path of a script file
    ActionCommand,  // anything not starting with '[': a command line
};

struct Action {
    ActionKind kind = ActionNone;
    std::string argument;  // after the keyword, leading white space skipped
};

// Keywords are compared case-sensitively, in table order.
Action ParseAction(const std::string& text);

// "[exit]"'s number: non-zero means Exit, zero or none means Stop.
bool ExitActionMeansExit(const std::string& argument);

}  // namespace holv
