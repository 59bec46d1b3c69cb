// Fault numbers of telva-map beside those of the input file, which it reports
// with telva's own numbers and texts.
#pragma once

#include "driver/fault.hpp"

namespace telva::mapFaults {

inline constexpr int output = 1;    // an output file cannot be written
inline constexpr int usage = 2;     // a bad argument
inline constexpr int memory = 3;    // the map would pass the memory limit
inline constexpr int notFinite = 4; // a value of the map is not a finite number
inline constexpr int crystal = 5;   // the CIF cannot be converted

} // namespace telva::mapFaults
