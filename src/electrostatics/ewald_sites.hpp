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

// The sites' results from the reciprocal half at every site (reciprocal, in
// the sites' order, by the table or the mesh): the real-space sum within
// p.cutoff, the background and the self term added.
EwaldSites assembleSitePotentials(const std::vector<Site>& sites, const AtomCells& cells,
                                  const EwaldParameters& p, double background,
                                  const std::vector<double>& reciprocal, int threads);

// The sites' fractional positions, in order.
std::vector<Position> siteFractions(const std::vector<Site>& sites);

} // namespace telva
