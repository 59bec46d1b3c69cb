// Potentials at arbitrary points by the Gaussian (Ewald) method.
#pragma once

#include <span>
#include <vector>

#include "electrostatics/ewald_model.hpp"
#include "electrostatics/real_space_sum.hpp"

namespace telva {

struct EwaldPoint {
  Position point;      // fractional, as given
  double phic = 0;     // of all point charges; +-infinity on a charged atom
  double phiw = 0;     // without the nearest atom (on an atom: that site's potential)
  int site = -1;       // the nearest atom's site index; -1 for a crystal without sites
  double distance = 0; // to the nearest atom, Angstrom
};

struct EwaldPoints {
  std::vector<EwaldPoint> points; // in the order given
  EwaldParameters parameters;
};

// phic, phiw and the nearest atom at every fractional point. The nearest atom
// is an atom of the charge density: its charge is Z times the summed W of the
// images merged there, which is Z for a consistent W. A point with a
// coordinate that is not finite is refused (invalid value), naming it.
EwaldPoints ewaldPoints(const EwaldModel& model, std::span<const Position> points);

// The points' results from the reciprocal half at every point (by the table
// or the mesh): what ewaldPoints does after its table's synthesis.
EwaldPoints assemblePoints(const AtomCells& cells, const EwaldParameters& p, double background,
                           std::span<const Position> points, const std::vector<double>& reciprocal,
                           int threads);

// The same from the atom cells, the split's parameters and the background.
std::vector<RealSpaceSum> realSpaceWithBackground(const AtomCells& cells, const EwaldParameters& p,
                                                  double background,
                                                  std::span<const Position> points, int threads);

// The real-space sum plus the background at every fractional point: what the
// Gaussian table's synthesis lacks for phic.
std::vector<RealSpaceSum> ewaldRealSpace(const EwaldModel& model, std::span<const Position> points);

} // namespace telva
