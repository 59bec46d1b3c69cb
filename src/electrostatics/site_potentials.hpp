// The potential at every site of the asymmetric unit and the electrostatic
// energy per asymmetric unit.
#pragma once

#include <span>
#include <vector>

#include "crystal/site.hpp"
#include "electrostatics/coefficient_table.hpp"

namespace telva {

// The potential at each site, in e/Angstrom: the table's potential there
// (production synthesis) minus the site's own smeared charge at its centre,
// the self term, from the full charge without W.
std::vector<double> sitePotentials(const CoefficientTable& table, double volume, double radius,
                                   std::span<const Site> sites, int threads = 0);

// E = 0.5 sum (Z W) phi over the sites in order, in e^2/Angstrom.
double energyPerAsymmetricUnit(std::span<const Site> sites, std::span<const double> potentials);

} // namespace telva
