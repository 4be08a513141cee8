// Traces that tests follow: several processes append to one file, and a test
// reads it while they run.
#pragma once
#include <string>

namespace holv::standin {

// Appends text and a newline in one write, so lines of different processes
// never mix. The file is opened for each line: a test may read, truncate or
// delete it at any time. Nothing happens when path is empty.
void AppendLine(const std::string& path, const std::string& text);

}  // namespace holv::standin
