// The converter's command-line options, parsed for any program that converts
// a CIF on its way (telva-cif itself, and others that take the same options).
#pragma once

#include <string>
#include <vector>

#include "cif/conversion.hpp"

namespace telva {

// The options' lines of the usage text, for a program's own usage.
extern const char* const conversionOptionsUsage;

// Takes --charge NAME=Z, --radius R, --qmax Q, --tolerance T, --strict,
// --block NAME, --guess-charges, --positions FILE (read here) and --at-sites
// out of `args` into `options`, and returns the other arguments in their
// order. A command-line CifError for a missing or malformed value; CifError
// for a positions file that cannot be read.
std::vector<std::string> parseConversionOptions(const std::vector<std::string>& args,
                                                ConversionOptions& options);

} // namespace telva
