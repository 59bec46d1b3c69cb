// The real-space half of the Gaussian (Ewald) split: the potential of every
// point charge minus its Gaussian cloud, q erfc(alpha d) / d, summed over the
// atom images within rc of a point.
#pragma once

#include <span>
#include <vector>

#include "crystal/atom_cells.hpp"

namespace telva {

struct RealSpaceSum {
  double potential = 0;        // sum q erfc(alpha d)/d over rc >= d >= coincidenceDistance
  double coincidentCharge = 0; // sum of q over the images nearer than that
  // The nearest image within rc (the first visited of equals); site -1 when
  // there is none.
  int nearestSite = -1;
  double nearestDistance = 0;
  double nearestCharge = 0;
};

// The sum at one Cartesian point, in the cells' visiting order (rc <= reach).
RealSpaceSum realSpaceSum(const AtomCells& cells, double alpha, double cutoff, const Vec3& point);

// The sums at many Cartesian points on up to `threads` threads (all when 0);
// each point's sum is the one-point sum, whatever the thread count. A point
// with a coordinate that is not finite is refused (invalid value), naming it.
std::vector<RealSpaceSum> realSpaceSums(const AtomCells& cells, double alpha, double cutoff,
                                        std::span<const Vec3> points, int threads = 0);

} // namespace telva
