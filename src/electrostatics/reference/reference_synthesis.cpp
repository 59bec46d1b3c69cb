#include "electrostatics/reference/reference_synthesis.hpp"

#include <cmath>

#include "electrostatics/half_space.hpp"
#include "electrostatics/sphere_form_factor.hpp"

namespace telva {

double referenceTablePotential(const CoefficientTable& table, double volume, double x, double y,
                               double z) {
  const double px = x * twoPi, py = y * twoPi, pz = z * twoPi;
  double sum = 0;
  forEachHalfSpaceReflection(table.hmax, table.kmax, table.lmax, [&](int h, int k, int l) {
    sum = sum + table.A[table.index(h, k, l)] * std::cos(h * px + (k * py + l * pz));
  });
  if (!table.inversionAtOrigin) {
    forEachHalfSpaceReflection(table.hmax, table.kmax, table.lmax, [&](int h, int k, int l) {
      sum = sum + table.B[table.index(h, k, l)] * std::sin(h * px + (k * py + l * pz));
    });
  }
  // The doubling accounts for the half of reciprocal space the table omits.
  return ((sum + sum) / pi) / volume;
}

double referenceSitePotential(const CoefficientTable& table, double volume, double radius,
                              const Site& site) {
  return referenceTablePotential(table, volume, site.x, site.y, site.z) -
         selfTerm(site.charge, radius);
}

PositionResult referencePosition(const PositionContext& context, const Position& point) {
  return completePosition(
      context, point,
      referenceTablePotential(context.table, context.geometry.volume, point.x, point.y, point.z));
}

} // namespace telva
