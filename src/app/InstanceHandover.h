#pragma once
#include <string>

#include "app/CommandLine.h"

namespace holv {

// Another instance serves the file: hand it the verbs as posted commands.
// Returns the exit code: 0 when "exit" was handed over and that instance
// ended within 60 s, else 183.
int HandOverToRunningInstance(const char* className, const std::string& path, const VerbTable& verbs);

// Warns while a window of the class runs for another file; 170 after Abort,
// 0 once none is left or the user chose Ignore.
int RunConflictCheck(const char* className);

}  // namespace holv
