#pragma once
// One line in the system log (the journal, or standard error), for what the user cannot see on
// the page: a render that could not start its helper.
#include <string>

namespace files {

void logLine(const std::string& line);

}  // namespace files
