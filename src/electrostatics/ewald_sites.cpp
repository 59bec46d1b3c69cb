#include "electrostatics/ewald_sites.hpp"

#include <cmath>

#include "electrostatics/real_space_sum.hpp"
#include "electrostatics/site_potentials.hpp"
#include "electrostatics/sphere_form_factor.hpp"
#include "electrostatics/table_synthesis.hpp"

namespace telva {

std::vector<Position> siteFractions(const std::vector<Site>& sites) {
  std::vector<Position> fractional;
  for (const Site& site : sites)
    fractional.push_back({site.x, site.y, site.z});
  return fractional;
}

EwaldSites ewaldSitePotentials(const EwaldModel& model) {
  const std::vector<double> reciprocal = tablePotentials(
      model.table, model.geometry.volume, siteFractions(model.crystal.sites), model.threads);
  return assembleSitePotentials(model.crystal.sites, model.cells, model.parameters,
                                model.background, reciprocal, model.threads);
}

EwaldSites assembleSitePotentials(const std::vector<Site>& sites, const AtomCells& cells,
                                  const EwaldParameters& p, double background,
                                  const std::vector<double>& reciprocal, int threads) {
  std::vector<Vec3> cartesian;
  for (const Site& site : sites)
    cartesian.push_back(cartesianPoint(cells, {site.x, site.y, site.z}));
  const std::vector<RealSpaceSum> real =
      realSpaceSums(cells, p.alpha, p.cutoff, cartesian, threads);

  EwaldSites result;
  result.parameters = p;
  // The cloud of charge q0 at its own centre: 2 alpha q0 / sqrt(pi).
  const double selfFactor = 2.0 * p.alpha / std::sqrt(pi);
  for (std::size_t i = 0; i < sites.size(); ++i)
    result.potentials.push_back(reciprocal[i] + real[i].potential + background -
                                selfFactor * real[i].coincidentCharge);
  result.energy = energyPerAsymmetricUnit(sites, result.potentials);
  return result;
}

} // namespace telva
