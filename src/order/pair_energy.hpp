// The energy of a configuration as a quadratic form over its disordered
// sites, from the Gaussian (Ewald) method of the core:
//
//   E(q) = E_fixed + sum_i q_i phi_i + 1/2 sum_ij q_i A_ij q_j
//
// A_ij is the potential at disordered site i of a unit charge at site j and
// all its images (j's own images only when i = j), phi_i the potential of
// the fixed sites' charges at site i, and E_fixed their energy among
// themselves. Each term carries the uniform background that compensates a
// charged part; for a neutral configuration the backgrounds add up to
// (Q/2) x const x Q = 0, so E is the energy of the neutral supercell. A
// configuration then costs O(m^2) once and a swap of two sites O(m).
#pragma once

#include <vector>

#include "electrostatics/ewald_parameters.hpp"
#include "order/configuration_space.hpp"
#include "order/supercell.hpp"
#include "order/supercell_group.hpp"

namespace telva {

struct PairEnergy {
  int m = 0;
  std::vector<double> pairs;      // A, m x m, symmetric, row-major; e/Angstrom per e
  std::vector<double> fixedField; // phi, e/Angstrom
  double fixedEnergy = 0;         // e^2/Angstrom
  EwaldParameters parameters;     // of the unit charge's sum
};

// The charges of the supercell's sites with `disordered` on the disordered
// sites (per disordered site) and the fixed species elsewhere.
std::vector<double> supercellCharges(const DisorderedCrystal& crystal, const Supercell& supercell,
                                     const ConfigurationSpace& space,
                                     const std::vector<double>& disordered);

// One Ewald sum per orbit of the group on the disordered sites (the other
// columns of A are its images) and one of the fixed charges. The tolerance
// on a configuration's potentials is `tolerance` e/Angstrom: each unit
// charge's sum is held to tolerance over the largest sum of |q| a
// configuration can have.
PairEnergy pairEnergy(const DisorderedCrystal& crystal, const Supercell& supercell,
                      const ConfigurationSpace& space, const SupercellGroup& group,
                      double tolerance, int threads);

// E(q) in e^2/Angstrom, in one fixed order of the sums.
double configurationEnergy(const PairEnergy& e, const std::vector<double>& q);

} // namespace telva
