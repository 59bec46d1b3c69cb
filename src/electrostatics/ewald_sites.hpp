// Site potentials and the energy by the Gaussian (Ewald) method.
#pragma once

#include <vector>

#include "electrostatics/ewald_model.hpp"

namespace telva {

struct EwaldSites {
  // At each site of the asymmetric unit, in the crystal's order: the potential
  // of every other charge of the crystal, e/Angstrom.
  std::vector<double> potentials;
  double energy = 0; // 0.5 sum Z W phi per asymmetric unit, e^2/Angstrom
  EwaldParameters parameters;
};

EwaldSites ewaldSitePotentials(const EwaldModel& model);

} // namespace telva
