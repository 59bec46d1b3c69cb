#include "electrostatics/ewald_parameters.hpp"

#include <algorithm>
#include <cmath>

#include "electrostatics/sphere_form_factor.hpp"

namespace telva {

namespace {

// Each half's estimate is held to the tolerance over this.
constexpr double estimateShare = 64;

// Nanoseconds per unit of work, measured on the kernels (make bench).
constexpr double pairCost = 25.0;     // one image within rc: distance and erfc
constexpr double scanCost = 1.0;      // one image of the scanned bins outside rc
constexpr double buildCost = 1.2;     // one table entry for one atom
constexpr double entryCost = 20.0;    // one entry's form factor and scale
constexpr double synthesisCost = 0.8; // one table entry for one point

// The root of a decreasing function g that is concave right of x0, by
// Newton's method from x0: the first step may overshoot the root, every later
// one approaches it from the right. Returns x0 when g(x0) <= 0.
template <typename G, typename Slope> double newtonRoot(G g, Slope slope, double x0) {
  if (g(x0) <= 0) return x0;
  double x = x0;
  for (int i = 0; i < 100; ++i) {
    const double step = g(x) / slope(x);
    x = std::max(x0, x - step);
    if (std::fabs(step) <= 1e-13 * x) break;
  }
  return x;
}

} // namespace

double realSpaceEstimate(double alpha, double cutoff, double squaredCharges, double volume) {
  const double x = alpha * cutoff;
  return std::sqrt(squaredCharges * cutoff / volume) * std::exp(-x * x) / (x * x);
}

double reciprocalEstimate(double alpha, double range, double squaredCharges, double volume) {
  const double y = pi * range / alpha;
  return std::sqrt(squaredCharges / (pi * pi * pi * volume)) * alpha * std::exp(-y * y) /
         std::pow(range, 1.5);
}

double cutoffFor(double alpha, double target, double squaredCharges, double volume) {
  // ln dR - ln target: its slope 1/(2 rc) - 2 alpha^2 rc - 2/rc is negative
  // and falling for alpha rc >= 1.
  const double offset = std::log(target);
  return newtonRoot(
      [&](double rc) {
        return std::log(realSpaceEstimate(alpha, rc, squaredCharges, volume)) - offset;
      },
      [&](double rc) { return -1.5 / rc - 2 * alpha * alpha * rc; }, 1.0 / alpha);
}

double rangeFor(double alpha, double target, double squaredCharges, double volume) {
  // ln dK - ln target: its slope -2 pi^2 qmax / alpha^2 - 3/(2 qmax) is
  // negative and falling for pi qmax / alpha >= 1.
  const double offset = std::log(target);
  return newtonRoot(
      [&](double q) {
        return std::log(reciprocalEstimate(alpha, q, squaredCharges, volume)) - offset;
      },
      [&](double q) { return -2 * pi * pi * q / (alpha * alpha) - 1.5 / q; }, alpha / pi);
}

double predictedWork(const EwaldWorkload& work, double cutoff, double range) {
  const double density = double(work.cellAtoms) / work.volume;
  const double sphere = 4.0 / 3.0 * pi * cutoff * cutoff * cutoff;
  // The bins scanned: a cube of edge 2 rc plus a bin (rc / 2) on each side.
  const double cube = std::pow(3.0 * cutoff, 3);
  const double real = double(work.points) * density * (sphere * pairCost + cube * scanCost);
  const double entries = 2.0 / 3.0 * pi * range * range * range * work.volume;
  const double reciprocal = entries * (double(work.tableAtoms) * buildCost + entryCost +
                                       double(work.points) * synthesisCost);
  return real + reciprocal;
}

EwaldParameters chooseEwaldParameters(const EwaldWorkload& work, double tolerance) {
  // A cell without charges: any parameters give 0; these keep the work small.
  const double q2 = work.squaredCharges > 0 ? work.squaredCharges : 1.0;
  const double target = tolerance / estimateShare;
  EwaldParameters best;
  double bestWork = INFINITY;
  auto consider = [&](double alpha) {
    const double rc = cutoffFor(alpha, target, q2, work.volume);
    const double range = rangeFor(alpha, target, q2, work.volume);
    const double cost = predictedWork(work, rc, range);
    if (cost < bestWork) {
      bestWork = cost;
      best.alpha = alpha, best.cutoff = rc, best.range = range;
    }
  };
  // alpha from 0.01 to 10 per Angstrom, 8 steps a decade, then 8 steps a
  // decade finer on either side of the best.
  for (int i = 0; i <= 24; ++i)
    consider(0.01 * std::pow(10.0, i / 8.0));
  const double coarse = best.alpha;
  for (int i = -7; i <= 7; ++i)
    consider(coarse * std::pow(10.0, i / 64.0));
  best.tolerance = tolerance;
  best.realEstimate = realSpaceEstimate(best.alpha, best.cutoff, q2, work.volume);
  best.reciprocalEstimate = reciprocalEstimate(best.alpha, best.range, q2, work.volume);
  if (work.squaredCharges <= 0) best.realEstimate = best.reciprocalEstimate = 0;
  return best;
}

} // namespace telva
