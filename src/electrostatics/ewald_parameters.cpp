#include "electrostatics/ewald_parameters.hpp"

#include <algorithm>
#include <cmath>

#include "electrostatics/sphere_form_factor.hpp"

namespace telva {

namespace {

// Each half's estimate is held to the tolerance over this.
constexpr double estimateShare = 64;

// Nanoseconds per unit of work, measured on the kernels (make bench).
constexpr double pairCost = 12.0;     // one image within rc: distance and erfc
constexpr double scanCost = 1.0;      // one image of the scanned bins outside rc
constexpr double buildCost = 1.2;     // one table entry for one atom
constexpr double entryCost = 20.0;    // one entry's form factor and scale
constexpr double synthesisCost = 1.1; // one table entry for one point
constexpr double phaseCost = 20.0;    // one phase factor of one point

// The root of a decreasing function g that is concave right of x0, by
// Newton's method from a guess x >= x0: a step from the left of the root may
// overshoot it, every later one approaches it from the right. Returns x0 when
// g(x0) <= 0.
template <typename G, typename Slope> double newtonRoot(G g, Slope slope, double x0, double guess) {
  if (g(x0) <= 0) return x0;
  double x = std::max(x0, guess);
  for (int i = 0; i < 100; ++i) {
    const double step = g(x) / slope(x);
    x = std::max(x0, x - step);
    if (std::fabs(step) <= 1e-9 * x) break;
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
      [&](double rc) { return -1.5 / rc - 2 * alpha * alpha * rc; }, 1.0 / alpha,
      std::sqrt(std::max(1.0, -std::log(target))) / alpha);
}

double rangeFor(double alpha, double target, double squaredCharges, double volume) {
  // ln dK - ln target: its slope -2 pi^2 qmax / alpha^2 - 3/(2 qmax) is
  // negative and falling for pi qmax / alpha >= 1.
  const double offset = std::log(target);
  return newtonRoot(
      [&](double q) {
        return std::log(reciprocalEstimate(alpha, q, squaredCharges, volume)) - offset;
      },
      [&](double q) { return -2 * pi * pi * q / (alpha * alpha) - 1.5 / q; }, alpha / pi,
      std::sqrt(std::max(1.0, -std::log(target))) * alpha / pi);
}

double predictedWork(const EwaldWorkload& work, double cutoff, double range) {
  const double density = double(work.cellAtoms) / work.volume;
  const double sphere = 4.0 / 3.0 * pi * cutoff * cutoff * cutoff;
  // The bins scanned: a cube of edge 2 rc plus a bin (rc / 2) on each side.
  const double cube = std::pow(3.0 * cutoff, 3);
  const double real = double(work.points) * density * (sphere * pairCost + cube * scanCost);
  const double entries = 2.0 / 3.0 * pi * range * range * range * work.volume;
  const double reciprocal = entries * (double(work.tableAtoms) * buildCost + entryCost +
                                       double(work.points) * synthesisCost) +
                            double(work.points) * work.axisLength * range * phaseCost;
  return real + reciprocal;
}

EwaldParameters chooseEwaldParameters(const EwaldWorkload& work, double tolerance) {
  // A cell without charges: any parameters give 0; these keep the work small.
  const double q2 = work.squaredCharges > 0 ? work.squaredCharges : 1.0;
  const double target = tolerance / estimateShare;
  // The work falls with alpha in real space and grows with it in reciprocal
  // space: one minimum, found by golden-section search on ln alpha over
  // 0.01 to 10 per Angstrom to within 2 %.
  auto work_ = [&](double alpha) {
    return predictedWork(work, cutoffFor(alpha, target, q2, work.volume),
                         rangeFor(alpha, target, q2, work.volume));
  };
  const double golden = 0.6180339887498949; // (sqrt(5) - 1) / 2
  double lo = std::log(0.01), hi = std::log(10.0);
  double u1 = hi - golden * (hi - lo), u2 = lo + golden * (hi - lo);
  double w1 = work_(std::exp(u1)), w2 = work_(std::exp(u2));
  while (hi - lo > 0.02) {
    if (w1 <= w2) {
      hi = u2, u2 = u1, w2 = w1;
      u1 = hi - golden * (hi - lo);
      w1 = work_(std::exp(u1));
    } else {
      lo = u1, u1 = u2, w1 = w2;
      u2 = lo + golden * (hi - lo);
      w2 = work_(std::exp(u2));
    }
  }
  EwaldParameters best;
  best.alpha = std::exp(w1 <= w2 ? u1 : u2);
  best.cutoff = cutoffFor(best.alpha, target, q2, work.volume);
  best.range = rangeFor(best.alpha, target, q2, work.volume);
  best.tolerance = tolerance;
  best.realEstimate = realSpaceEstimate(best.alpha, best.cutoff, q2, work.volume);
  best.reciprocalEstimate = reciprocalEstimate(best.alpha, best.range, q2, work.volume);
  if (work.squaredCharges <= 0) best.realEstimate = best.reciprocalEstimate = 0;
  return best;
}

} // namespace telva
