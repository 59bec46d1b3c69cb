// The parameters of smooth particle-mesh Ewald chosen from a tolerance.
//
// The real-space half is the Gaussian method's (ewald_parameters.hpp): the
// same split, the same estimate dR held to T/64. The reciprocal half is the
// mesh's. With B-splines of order p on a mesh of spacing h (the longest of
// |a|/K1, |b|/K2, |c|/K3), the wave vector m of mesh frequency u = h m
// reaches the potential with its aliases u + k, k = +-1, +-2, ..., each
// weighted (u / (u + k))^p once by the spreading and once by the
// interpolation (Essmann et al., J. Chem. Phys. 103, 8577 (1995), sec. II.C,
// the splines' transform (sin(pi u) / (pi u))^p after the moduli's
// correction). Summed over the Gaussian spectrum (1/(pi V)) exp(-pi^2 m^2 /
// alpha^2) / m^2 of charges in random phase, the root-mean-square error of a
// potential is
//
//   dM = C sqrt(Q2 / (V alpha)) F_p(h alpha),
//   F_p(x)^2 = (4/pi) int_0^{1/(2x)} exp(-2 pi^2 t^2) / t^2 (2 A_p(x t))^2 dt,
//   A_p(u) = sum_{k = +-1, +-2, +-3} (u / (u + k))^p,
//
// with Q2 the sum of the squared charges of the cell. C was measured: on
// random P1 cells of 512 ions, for orders 4 to 12 and meshes of 24 to 48
// nodes an edge, the largest error of any site against the direct method at
// 1e-10 is 0.8 to 1.7 dM (C = 1) in cubic cells and 2 to 8 dM in oblique
// ones, so dM with C = 1 is held to T/8 (bench/pme_validation repeats the
// measurement). The mesh holds the wave vectors up to |m| = 1/(2h) only:
// the terms beyond are the table's truncation, estimated as the Gaussian
// method's dK at qmax = 1/(2h) and held to T/64 as there. The estimate
// reported for the mesh is the sum of both.
// Mesh sizes are products of 2, 3, 5 and 7, which FFTW transforms fastest.
// alpha, the order and the mesh are those of the least predicted work.
#pragma once

#include <array>
#include <cstdint>

#include "electrostatics/ewald_parameters.hpp"

namespace telva {

// What the choice depends on.
struct PmeWorkload {
  double volume = 0;             // V, Angstrom^3
  double squaredCharges = 0;     // Q2 over the atoms of one cell, e^2
  std::int64_t cellAtoms = 0;    // atoms of one cell
  std::int64_t points = 1;       // points evaluated with one mesh
  std::array<double, 3> edges{}; // |a|, |b|, |c|, Angstrom
};

// F_p(x) above.
double meshShape(int order, double x);

// dM for one order, spacing h (Angstrom) and alpha.
double interpolationEstimate(int order, double spacing, double alpha, double squaredCharges,
                             double volume);
// dM plus the truncation's dK at 1/(2h).
double meshEstimate(int order, double spacing, double alpha, double squaredCharges, double volume);

// The smallest product of 2, 3, 5 and 7 that is at least n.
int fftFriendly(std::int64_t n);

// Predicted work in nanoseconds: the real-space sum at the points, the
// spreading and interpolation of the charges, the influence function and the
// transforms (weights measured, make bench).
double predictedPmeWork(const PmeWorkload& work, double cutoff, const std::array<int, 3>& mesh,
                        int order);

// alpha, rc, the mesh and the order for the tolerance (a positive number;
// the caller checks), with both estimates.
EwaldParameters choosePmeParameters(const PmeWorkload& work, double tolerance);

} // namespace telva
