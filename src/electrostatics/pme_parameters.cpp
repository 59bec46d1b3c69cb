#include "electrostatics/pme_parameters.hpp"

#include <cmath>
#include <limits>
#include <vector>

#include "base/numbers.hpp"
#include "electrostatics/cardinal_bspline.hpp"

namespace telva {

namespace {

// The real-space estimate is held to the tolerance over this (as the
// Gaussian method's), the mesh's over meshShare.
constexpr double realShare = 64;
constexpr double meshShare = 8;

// C, measured (see the header).
constexpr double meshConstant = 1.0;

// Nanoseconds per unit of work, measured on one thread (bench/pme_validation
// time: a P1 cell of 64,000 ions at 1e-6 took 0.4 s of processor time).
constexpr double spreadCost = 1.3;    // one node of one atom's spline cube, spread
constexpr double gatherCost = 1.3;    // the same, interpolated at a point
constexpr double transformCost = 2.0; // one node times log2 of the nodes, both ways
constexpr double influenceCost = 8.0; // one node of the half spectrum

} // namespace

double meshShape(int order, double x) {
  // Midpoints over t up to 1/(2x), or to 1 beyond which exp(-2 pi^2 t^2)
  // leaves nothing.
  constexpr int steps = 64;
  const double top = std::min(0.5 / x, 1.0);
  const double dt = top / steps;
  double sum = 0;
  for (int i = 0; i < steps; ++i) {
    const double t = (i + 0.5) * dt;
    const double u = x * t;
    double aliases = 0;
    for (int k = 1; k <= 3; ++k)
      aliases += std::pow(u / (k - u), order) + std::pow(u / (k + u), order);
    sum += std::exp(-2 * pi * pi * t * t) / (t * t) * 4 * aliases * aliases;
  }
  return std::sqrt(4 / pi * sum * dt);
}

double interpolationEstimate(int order, double spacing, double alpha, double squaredCharges,
                             double volume) {
  return meshConstant * std::sqrt(squaredCharges / (volume * alpha)) *
         meshShape(order, spacing * alpha);
}

double meshEstimate(int order, double spacing, double alpha, double squaredCharges, double volume) {
  return interpolationEstimate(order, spacing, alpha, squaredCharges, volume) +
         reciprocalEstimate(alpha, 0.5 / spacing, squaredCharges, volume);
}

namespace {

// meshShape of one order at x = 0.02 * 1.04^j up to x = 2, increasing in x:
// inverted by interpolation in ln x and ln F.
struct ShapeTable {
  std::vector<double> x, shape;
};

ShapeTable shapeTable(int order) {
  ShapeTable table;
  for (double x = 0.02; x <= 2.0; x *= 1.04) {
    table.x.push_back(x);
    table.shape.push_back(meshShape(order, x));
  }
  return table;
}

// The largest x whose shape is at most `ratio` (the first entry's x below it).
double shapeInverse(const ShapeTable& table, double ratio) {
  const std::vector<double>& f = table.shape;
  if (!(ratio > f.front())) return table.x.front();
  std::size_t j = 1;
  while (j < f.size() && f[j] <= ratio)
    ++j;
  if (j == f.size()) return table.x.back();
  const double share = std::log(ratio / f[j - 1]) / std::log(f[j] / f[j - 1]);
  return table.x[j - 1] * std::pow(table.x[j] / table.x[j - 1], share);
}

} // namespace

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
  for (int order = smallestSplineOrder; order <= largestSplineOrder; order += 2) {
    const ShapeTable table = shapeTable(order);
    for (double u = std::log(0.05); u <= std::log(5.0); u += 0.02) {
      const double alpha = std::exp(u);
      const double rc = cutoffFor(alpha, tolerance / realShare, q2, work.volume);
      // The interpolation within T/meshShare, the truncation at 1/(2h)
      // within T/realShare.
      const double interpolated =
          shapeInverse(table, tolerance / meshShare / std::sqrt(q2 / (work.volume * alpha))) /
          alpha;
      const double truncated = 0.5 / rangeFor(alpha, tolerance / realShare, q2, work.volume);
      const double h = std::min(interpolated, truncated);
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
