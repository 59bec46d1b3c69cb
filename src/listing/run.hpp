// The run driver: the command line, the two files, the phases in their order,
// and the ways a run ends.
#pragma once

#include <cstdint>
#include <cstdio>
#include <iosfwd>
#include <string>
#include <vector>

#include "base/capacities.hpp"

namespace telva {

// Runs the program on the arguments after the program name, with `in` and
// `out` for the path prompt and `err` for diagnostics. Returns the exit
// status: 0 at the normal end, 1 at the capacity stop, the fault's number at
// a fatal fault.
int run(const std::vector<std::string>& args, std::istream& in, std::ostream& out,
        std::ostream& err);

// What a run may be given besides its two files. Only tests and the fuzzer
// change it: a lower table capacity keeps each of their runs small.
struct RunOptions {
  std::int64_t tableCapacity = telva::tableCapacity;
};

// Runs the phases on two streams already open: `input` read as unit 5 and
// `listing` written as unit 6, each named by its path in diagnostics. Takes
// ownership of both and closes them. Returns the exit status as `run` does
// and writes the fault's diagnostic, if any, to `err`. `run` opens the files
// and then goes through here.
int runStreams(std::FILE* input, const std::string& inputPath, std::FILE* listing,
               const std::string& listingPath, const RunOptions& options, std::ostream& err);

} // namespace telva
