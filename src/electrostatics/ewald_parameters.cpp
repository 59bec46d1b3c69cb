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
constexpr double buildCost = 0.6;     // one table entry for one atom
constexpr double entryCost = 20.0;    // one entry's form factor and scale
constexpr double synthesisCost = 0.5; // one table entry for one point

// The largest x with f decreasing monotonically from there: f is a decreasing
// function of x for x >= lo; the smallest x >= lo with f(x) <= target.
template <typename F> double solveDecreasing(F f, double lo, double target) {
  if (f(lo) <= target) return lo;
  double hi = lo * 2;
  while (f(hi) > target)
    hi *= 2;
  for (int i = 0; i < 100 && hi - lo > 1e-12 * hi; ++i) {
    const double mid = 0.5 * (lo + hi);
    (f(mid) > target ? lo : hi) = mid;
  }
  return hi;
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
  // Decreasing for alpha rc >= 1: d ln dR / d rc = 1/(2 rc) - 2 alpha^2 rc - 2/rc < 0.
  return solveDecreasing(
      [&](double rc) { return realSpaceEstimate(alpha, rc, squaredCharges, volume); }, 1.0 / alpha,
      target);
}

double rangeFor(double alpha, double target, double squaredCharges, double volume) {
  // Decreasing for pi qmax / alpha >= 1.
  return solveDecreasing(
      [&](double q) { return reciprocalEstimate(alpha, q, squaredCharges, volume); }, alpha / pi,
      target);
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
  // alpha from 0.01 to 10 per Angstrom, 40 steps a decade.
  for (int i = 0; i <= 120; ++i) {
    const double alpha = 0.01 * std::pow(10.0, i / 40.0);
    const double rc = cutoffFor(alpha, target, q2, work.volume);
    const double range = rangeFor(alpha, target, q2, work.volume);
    const double cost = predictedWork(work, rc, range);
    if (cost < bestWork) {
      bestWork = cost;
      best.alpha = alpha, best.cutoff = rc, best.range = range;
    }
  }
  best.tolerance = tolerance;
  best.realEstimate = realSpaceEstimate(best.alpha, best.cutoff, q2, work.volume);
  best.reciprocalEstimate = reciprocalEstimate(best.alpha, best.range, q2, work.volume);
  if (work.squaredCharges <= 0) best.realEstimate = best.reciprocalEstimate = 0;
  return best;
}

} // namespace telva
