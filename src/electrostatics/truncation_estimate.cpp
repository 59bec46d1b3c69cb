#include "electrostatics/truncation_estimate.hpp"

#include <cmath>

#include "electrostatics/sphere_form_factor.hpp"

namespace telva {

double truncationEstimate(double charge, double radius, double qmax) {
  if (!(radius > 0) || !(qmax > 0)) return INFINITY;
  const double x = twoPi * radius * qmax;
  return 2 * std::fabs(charge) / (pi * radius) * sphereTailCoefficient / std::pow(x, 5);
}

double qmaxForTolerance(double charge, double radius, double tolerance) {
  if (charge == 0) return 0;
  if (!(radius > 0) || !(tolerance > 0)) return INFINITY;
  const double x =
      std::pow(2 * std::fabs(charge) * sphereTailCoefficient / (pi * radius * tolerance), 0.2);
  return x / (twoPi * radius);
}

double chargedCellShift(double netCharge, double radius, double volume) {
  // 2 pi Q <r^2> / (3 V) with <r^2> = R^2 / 4 for the type-2 distribution.
  return pi * netCharge * radius * radius / (6 * volume);
}

} // namespace telva
