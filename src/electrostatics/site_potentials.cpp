#include "electrostatics/site_potentials.hpp"

#include "electrostatics/sphere_form_factor.hpp"
#include "electrostatics/table_synthesis.hpp"

namespace telva {

std::vector<double> sitePotentials(const CoefficientTable& table, double volume, double radius,
                                   std::span<const Site> sites, int threads) {
  std::vector<Position> positions;
  for (const Site& site : sites)
    positions.push_back({site.x, site.y, site.z});
  std::vector<double> phi = tablePotentials(table, volume, positions, threads);
  for (std::size_t i = 0; i < sites.size(); ++i)
    phi[i] = phi[i] - selfTerm(sites[i].charge, radius);
  return phi;
}

double energyPerAsymmetricUnit(std::span<const Site> sites, std::span<const double> potentials) {
  double sum = 0;
  for (std::size_t i = 0; i < sites.size(); ++i)
    sum = sum + (sites[i].charge * sites[i].W) * potentials[i];
  return 0.5 * sum;
}

} // namespace telva
