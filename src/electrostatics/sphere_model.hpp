// The sphere method ready to evaluate: every ionic point charge smeared into
// the same sphere of radius R, the coefficient table of that density up to
// the range qmax, and what the points need beside it. The listing program's
// numbers come from this method; the front ends prepare it once and ask it for
// the sites, points and grids.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "base/capacities.hpp"
#include "crystal/cell_geometry.hpp"
#include "crystal/crystal.hpp"
#include "electrostatics/coefficient_table.hpp"
#include "electrostatics/positions.hpp"

namespace telva {

struct SphereModel {
  const Crystal* crystal = nullptr; // not owned: it outlives the model
  double radius = 0;                // R, Angstrom
  double range = 0;                 // qmax, 1/Angstrom
  CellGeometry geometry;            // with the index box of the range
  CoefficientTable table;
};

// Builds the table of `crystal` for R and qmax on `threads` threads (0: all).
// The listing program's capacities do not bind; a table of more than
// `memoryLimit` bytes is refused before it is allocated.
SphereModel prepareSphere(const Crystal& crystal, double radius, double range, int threads = 0,
                          std::int64_t memoryLimit = defaultMemoryLimit);

// What the point evaluation (positions.hpp) needs of the model.
PositionContext positionContext(const SphereModel& model);

} // namespace telva
