#include "electrostatics/pme_parameters.hpp"

#include <cmath>
#include <limits>

#include "base/numbers.hpp"
#include "electrostatics/cardinal_bspline.hpp"

namespace telva {

namespace {

// The real-space estimate is held to the tolerance over this (as the
// Gaussian method's), the mesh's over meshShare.
constexpr double realShare = 64;
constexpr double meshShare = 4;

// C_p of orders 4, 6, 8, 10 and 12, measured (see the header).
constexpr double meshConstants[] = {1.0, 1.0, 1.0, 1.0, 1.0};

// Nanoseconds per unit of work, measured (make bench).
constexpr double spreadCost = 1.0;    // one node of one atom's spline cube, spread
constexpr double gatherCost = 1.0;    // the same, interpolated at a point
constexpr double transformCost = 1.0; // one node times log2 of the nodes, both ways
constexpr double influenceCost = 4.0; // one node of the half spectrum

double meshConstant(int order) {
  return meshConstants[(order - 4) / 2];
}

} // namespace

double meshEstimate(int order, double spacing, double alpha, double squaredCharges, double volume) {
  return meshConstant(order) * std::sqrt(squaredCharges / (volume * alpha)) *
         std::sqrt(std::tgamma(order - 0.5)) *
         std::pow(spacing * alpha / (pi * std::sqrt(2.0)), order);
}

double spacingFor(int order, double alpha, double target, double squaredCharges, double volume) {
  // The estimate is a power of h: solved in closed form.
  const double atUnit = meshEstimate(order, 1.0, alpha, squaredCharges, volume);
  return std::pow(target / atUnit, 1.0 / order);
}

int fftFriendly(std::int64_t n) {
  for (std::int64_t m = std::max<std::int64_t>(n, 1);; ++m) {
    std::int64_t r = m;
    for (int f : {2, 3, 5, 7})
      while (r % f == 0)
        r /= f;
    if (r == 1) return int(std::min<std::int64_t>(m, std::numeric_limits<int>::max()));
  }
}

double predictedPmeWork(const PmeWorkload& work, double cutoff, const std::array<int, 3>& mesh,
                        int order) {
  EwaldWorkload real;
  real.volume = work.volume;
  real.cellAtoms = work.cellAtoms;
  real.points = work.points;
  const double nodes = double(mesh[0]) * mesh[1] * mesh[2];
  const double cube = double(order) * order * order;
  return predictedWork(real, cutoff, 0.0) +
         cube * (double(work.cellAtoms) * spreadCost + double(work.points) * gatherCost) +
         nodes * (transformCost * std::log2(std::max(nodes, 2.0)) + 0.5 * influenceCost);
}

EwaldParameters choosePmeParameters(const PmeWorkload& work, double tolerance) {
  // A cell without charges: any parameters give 0; these keep the work small.
  const double q2 = work.squaredCharges > 0 ? work.squaredCharges : 1.0;
  EwaldParameters best;
  double bestWork = std::numeric_limits<double>::infinity();
  // alpha on a grid of ln alpha, 0.05 to 5 per Angstrom in steps of 2 %,
  // for every order: a few thousand closed forms.
  for (int order = smallestSplineOrder; order <= largestSplineOrder; order += 2)
    for (double u = std::log(0.05); u <= std::log(5.0); u += 0.02) {
      const double alpha = std::exp(u);
      const double rc = cutoffFor(alpha, tolerance / realShare, q2, work.volume);
      const double h = spacingFor(order, alpha, tolerance / meshShare, q2, work.volume);
      std::array<int, 3> mesh{};
      for (int i = 0; i < 3; ++i)
        mesh[i] = fftFriendly(std::max<std::int64_t>(
            order, std::int64_t(std::min(std::ceil(work.edges[i] / h), 1e9))));
      const double w = predictedPmeWork(work, rc, mesh, order);
      if (w < bestWork) {
        bestWork = w;
        best.alpha = alpha;
        best.cutoff = rc;
        best.mesh = mesh;
        best.splineOrder = order;
      }
    }
  best.tolerance = tolerance;
  double spacing = 0;
  for (int i = 0; i < 3; ++i)
    spacing = std::max(spacing, work.edges[i] / best.mesh[i]);
  best.realEstimate = realSpaceEstimate(best.alpha, best.cutoff, q2, work.volume);
  best.reciprocalEstimate = meshEstimate(best.splineOrder, spacing, best.alpha, q2, work.volume);
  if (work.squaredCharges <= 0) best.realEstimate = best.reciprocalEstimate = 0;
  return best;
}

} // namespace telva
