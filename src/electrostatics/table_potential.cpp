#include "electrostatics/table_potential.hpp"

#include <cmath>

#include "electrostatics/sphere_form_factor.hpp"

namespace telva {

double tablePotential(const CoefficientTable& table, double volume, double x, double y, double z) {
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

} // namespace telva
