// telva-order's command line: its options, the run with a progress bar on
// a terminal, the notes on standard error and the files written.
#pragma once

#include <string>
#include <vector>

namespace telva {

// The exit status: 0 done, 1 a fault of the input, 2 a wrong command line.
int orderProgram(const std::vector<std::string>& args);

} // namespace telva
