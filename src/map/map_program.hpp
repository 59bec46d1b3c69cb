// The telva-map program: from the command line to the map files and the
// report, with every fault reported in one place.
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace telva {

// Runs telva-map on the arguments after the program name; usage text to
// `out`, progress, report and diagnostics to `err`. `errIsTerminal` turns on
// the progress line. Returns the exit status: 0, or the fault's number.
int runMap(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
           bool errIsTerminal);

} // namespace telva
