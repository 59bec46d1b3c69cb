#include "electrostatics/real_space_sum.hpp"

#include <cmath>
#include <string>

#include "base/fault.hpp"
#include "base/parallel.hpp"
#include "electrostatics/complementary_error_function.hpp"

namespace telva {

namespace {

// Points per unit of parallel work.
constexpr int pointsPerPart = 64;

} // namespace

RealSpaceSum realSpaceSum(const AtomCells& cells, double alpha, double cutoff, const Vec3& point) {
  RealSpaceSum sum;
  constexpr double near2 = coincidenceDistance * coincidenceDistance;
  double nearest2 = INFINITY;
  forEachAtomWithin(cells, point, cutoff, [&](const AtomImage& image, double d2) {
    if (d2 < nearest2) {
      nearest2 = d2;
      sum.nearestSite = image.site;
      sum.nearestCharge = image.charge;
    }
    if (d2 < near2) {
      sum.coincidentCharge += image.charge;
      return;
    }
    const double d = std::sqrt(d2);
    sum.potential += image.charge * complementaryErrorFunction(alpha * d) / d;
  });
  if (sum.nearestSite >= 0) sum.nearestDistance = std::sqrt(nearest2);
  return sum;
}

std::vector<RealSpaceSum> realSpaceSums(const AtomCells& cells, double alpha, double cutoff,
                                        std::span<const Vec3> points, int threads) {
  // Checked here, before the threads: a fault inside one would end the program.
  for (std::size_t i = 0; i < points.size(); ++i)
    for (double v : points[i])
      if (!std::isfinite(v))
        throw Fault{faults::invalidValue, "point " + std::to_string(i + 1) +
                                              " has a coordinate that is not a finite number"};
  std::vector<RealSpaceSum> sums(points.size());
  parallelForBlocks(
      points.size(), pointsPerPart,
      [&](std::size_t i) { sums[i] = realSpaceSum(cells, alpha, cutoff, points[i]); }, threads);
  return sums;
}

} // namespace telva
