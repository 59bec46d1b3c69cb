// The parameters of smooth particle-mesh Ewald chosen from a tolerance.
//
// The real-space half is the Gaussian method's (ewald_parameters.hpp): the
// same split, the same estimate dR held to T/64. The reciprocal half is the
// mesh's: with B-splines of order p on a mesh of spacing h (the longest of
// |a|/K1, |b|/K2, |c|/K3), the interpolation error of a wave vector m is of
// order (h m)^p (Essmann et al., J. Chem. Phys. 103, 8577 (1995), sec. II.C);
// summed over the Gaussian spectrum (1/(pi V)) exp(-pi^2 m^2/alpha^2)/m^2 of
// charges in random phase, the root-mean-square error of a potential is
//
//   dM = C_p sqrt(Q2 / (V alpha)) sqrt(Gamma(p - 1/2)) (h alpha / (pi sqrt 2))^p
//
// with Q2 the sum of the squared charges of the cell. The constants C_p are
// measured: the largest error over every site of random P1 cells and of the
// crystals of bench/crystals, against the direct method at 1e-10, over the
// figure without C_p (tools/pme-validation.py repeats the measurement).
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

// dM for one order, spacing h (Angstrom) and alpha.
double meshEstimate(int order, double spacing, double alpha, double squaredCharges, double volume);

// The largest spacing whose estimate is within `target`.
double spacingFor(int order, double alpha, double target, double squaredCharges, double volume);

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
