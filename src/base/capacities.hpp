// Fixed capacities: every store of the listing program is bounded by these
// (they are rules of its fixed-column formats); the library and the other
// front ends are bounded only by the memory limit.
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

// Bytes that one computation of the library (a coefficient table, a grid) may
// take unless its caller sets another limit; a larger one is refused before
// anything is allocated.
inline constexpr std::int64_t defaultMemoryLimit = std::int64_t{8} << 30;

} // namespace telva
