// A point of the crystal in fractional coordinates of the cell's edges, not
// reduced into the cell.
#pragma once

namespace telva {

struct Position {
  double x = 0, y = 0, z = 0;
};

// Nearer than this, in Angstrom (1.0e-5 as a single-precision number), a point
// is on the atom itself: its potential q/d is not formed.
inline constexpr double coincidenceDistance = static_cast<double>(1.0e-5f);

} // namespace telva
