// The run driver: the command line, the two files, the phases in their order,
// and the ways a run ends.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace telva {

// Runs the program on the arguments after the program name, with `in` and
// `out` for the path prompt and `err` for diagnostics. Returns the exit
// status: 0 at the normal end, 1 at the capacity stop, the fault's number at
// a fatal fault.
int run(const std::vector<std::string>& args, std::istream& in, std::ostream& out,
        std::ostream& err);

} // namespace telva
