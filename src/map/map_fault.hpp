// Fault numbers of telva-map beside those of the input file, which it reports
// with telva's own numbers and texts.
#pragma once

#include "base/fault.hpp"

namespace telva::mapFaults {

inline constexpr int crystal = 1;   // the CIF cannot be converted (telva-cif's status)
inline constexpr int usage = 2;     // a bad argument
inline constexpr int output = 3;    // an output file cannot be written
inline constexpr int memory = 4;    // the map would pass the memory limit
inline constexpr int notFinite = 5; // a value of the map is not a finite number

} // namespace telva::mapFaults
