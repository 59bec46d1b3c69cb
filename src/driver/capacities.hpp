// Fixed capacities of one run: every store of the program is bounded by these.
#pragma once

#include <cstdint>

namespace telva {

inline constexpr int maxSites = 300;  // atoms of the asymmetric unit
inline constexpr int maxSymOps = 192; // symmetry operations
// Entries of each of the two arrays (cosine part, sine part) of the
// reciprocal coefficient table.
inline constexpr std::int64_t tableCapacity = 10'000'000;
inline constexpr int titleWidth = 72;
inline constexpr int labelWidth = 8;
// Memory the Gaussian method may take for one crystal unless told otherwise;
// only this bounds it (none of the listing's capacities apply).
inline constexpr std::int64_t ewaldMemoryLimit = std::int64_t(8) << 30;

} // namespace telva
