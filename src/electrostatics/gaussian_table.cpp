#include "electrostatics/gaussian_table.hpp"

#include <cmath>

#include "electrostatics/sphere_form_factor.hpp"
#include "electrostatics/table_build.hpp"

namespace telva {

double gaussianFormFactor(double q, double alpha) {
  const double x = pi * q / alpha;
  return std::exp(-(x * x));
}

CoefficientTable buildGaussianTable(const CellGeometry& geometry, double alpha, double range,
                                    int inversionAtOrigin, std::span<const Site> atoms,
                                    int threads) {
  static const SymOp identity{{SymOpRow{0, 1, 0}, SymOpRow{0, 2, 0}, SymOpRow{0, 3, 0}}};
  const TableInputs inputs{geometry, 0.0, range, inversionAtOrigin, {&identity, 1}, atoms, threads};
  return buildCoefficientTable(inputs, [alpha](double q) { return gaussianFormFactor(q, alpha); });
}

} // namespace telva
