// The parameters of the Gaussian (Ewald) split chosen from a tolerance.
//
// With every point charge q split as q erfc(alpha r)/r + q erf(alpha r)/r, the
// real-space sum is cut at rc and the reciprocal sum at the range qmax (|s|,
// 1/Angstrom, without 2 pi). The root-mean-square error of the omitted terms
// at a point, for charges in random phase (after Kolafa & Perram, Mol. Sim. 9, 351
// (1992), their energy estimates taken for the potential at one point):
//
//   real space:       dR = sqrt(Q2 rc / V) exp(-alpha^2 rc^2) / (alpha rc)^2
//   reciprocal space: dK = sqrt(Q2 / (pi^3 V)) alpha exp(-pi^2 qmax^2 / alpha^2) / qmax^(3/2)
//
// with Q2 the sum of the squared charges of the cell and V its volume. In an
// ordered crystal the omitted terms come in whole shells of like phase, and
// the error at a site strays from the random-phase figure by up to some
// twenty times (measured on the crystals of bench/crystals at T = 1e-6, 1e-8
// and 1e-10), so each half is held to T/64 by its estimate. alpha is then the
// value that minimises the predicted work of the job (a number of points and
// the table's atoms), which balances the two halves' costs.
#pragma once

#include <array>
#include <cstdint>

namespace telva {

// The default tolerance of the method, e/Angstrom.
inline constexpr double defaultEwaldTolerance = 1e-8;

// What the choice depends on.
struct EwaldWorkload {
  double volume = 0;           // V, Angstrom^3
  double squaredCharges = 0;   // Q2 over the atoms of one cell, e^2
  std::int64_t cellAtoms = 0;  // atoms of one cell
  std::int64_t tableAtoms = 0; // atoms whose phase factors build the table
  std::int64_t points = 1;     // points evaluated with one table
  double axisLength = 0;       // 2a + 2b + c, Angstrom: a point's phase factors per unit of qmax
};

struct EwaldParameters {
  double tolerance = 0;          // T, e/Angstrom, as asked
  double alpha = 0;              // splitting parameter, 1/Angstrom
  double cutoff = 0;             // rc, Angstrom
  double range = 0;              // qmax, 1/Angstrom
  double realEstimate = 0;       // dR at rc, e/Angstrom
  double reciprocalEstimate = 0; // dK at qmax, e/Angstrom
  std::int64_t tableEntries = 0; // non-zero half-space entries, once built
  // The mesh method (pme_parameters.hpp) in place of the table: its nodes
  // along a, b, c and the order of its B-splines; range and tableEntries
  // are 0 there, and reciprocalEstimate is the mesh's.
  std::array<int, 3> mesh{};
  int splineOrder = 0;
  double estimate() const { return realEstimate + reciprocalEstimate; }
};

double realSpaceEstimate(double alpha, double cutoff, double squaredCharges, double volume);
double reciprocalEstimate(double alpha, double range, double squaredCharges, double volume);

// The smallest rc (qmax) whose estimate is within `target` for this alpha.
double cutoffFor(double alpha, double target, double squaredCharges, double volume);
double rangeFor(double alpha, double target, double squaredCharges, double volume);

// Predicted work in nanoseconds of one job at (alpha, rc, qmax); the weights
// are measured per pair of the real-space sum, per entry and atom of the
// table build, and per entry and point of the synthesis.
double predictedWork(const EwaldWorkload& work, double cutoff, double range);

// alpha, rc and qmax for the tolerance (a positive number; the caller checks).
EwaldParameters chooseEwaldParameters(const EwaldWorkload& work, double tolerance);

} // namespace telva
