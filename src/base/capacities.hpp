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

// The library (the Python module) has none of the limits above, which are
// rules of the listing: only this bound on the bytes of one coefficient table
// or grid, checked before anything is allocated. A caller may set its own.
inline constexpr std::int64_t libraryMemoryLimit = std::int64_t(4) << 30;

} // namespace telva
