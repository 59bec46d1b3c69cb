// The reciprocal half of the Gaussian (Ewald) split: the coefficient table of
// the crystal with every point charge replaced by a Gaussian cloud
// rho(r) = Z (alpha/sqrt(pi))^3 exp(-alpha^2 r^2). Its form factor at
// q = |s| (1/Angstrom, without 2 pi) is exp(-pi^2 q^2 / alpha^2), so the
// table's synthesis (tablePotentials, or a grid synthesis of the same table)
// gives the potential of the clouds, sum erf(alpha d) Z / d, to within the
// omitted entries beyond the range.
#pragma once

#include <span>

#include "crystal/cell_geometry.hpp"
#include "crystal/site.hpp"
#include "electrostatics/coefficient_table.hpp"

namespace telva {

// exp(-pi^2 q^2 / alpha^2).
double gaussianFormFactor(double q, double alpha);

// The table of the charges `atoms` (each charge Z W, at fractional x, y, z;
// the identity is their only operation) within the range of the geometry's
// index box `range`; with the inversion flag, each atom's inverted companion
// is implied, as in the listing's tables.
CoefficientTable buildGaussianTable(const CellGeometry& geometry, double alpha, double range,
                                    int inversionAtOrigin, std::span<const Site> atoms,
                                    int threads = 0);

} // namespace telva
