// A point of the crystal in fractional coordinates of the cell's edges, not
// reduced into the cell.
#pragma once

namespace telva {

struct Position {
  double x = 0, y = 0, z = 0;
};

} // namespace telva
