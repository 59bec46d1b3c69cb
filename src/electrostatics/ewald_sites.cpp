#include "electrostatics/ewald_sites.hpp"

#include <cmath>

#include "electrostatics/real_space_sum.hpp"
#include "electrostatics/site_potentials.hpp"
#include "electrostatics/sphere_form_factor.hpp"
#include "electrostatics/table_synthesis.hpp"

namespace telva {

EwaldSites ewaldSitePotentials(const EwaldModel& model) {
  const std::vector<Site>& sites = model.crystal.sites;
  std::vector<Position> fractional;
  std::vector<Vec3> cartesian;
  for (const Site& site : sites) {
    fractional.push_back({site.x, site.y, site.z});
    cartesian.push_back(cartesianPoint(model.cells, fractional.back()));
  }
  const EwaldParameters& p = model.parameters;
  const std::vector<double> reciprocal =
      tablePotentials(model.table, model.geometry.volume, fractional, model.threads);
  const std::vector<RealSpaceSum> real =
      realSpaceSums(model.cells, p.alpha, p.cutoff, cartesian, model.threads);

  EwaldSites result;
  result.parameters = p;
  // The cloud of charge q0 at its own centre: 2 alpha q0 / sqrt(pi).
  const double selfFactor = 2.0 * p.alpha / std::sqrt(pi);
  for (std::size_t i = 0; i < sites.size(); ++i)
    result.potentials.push_back(reciprocal[i] + real[i].potential + model.background -
                                selfFactor * real[i].coincidentCharge);
  result.energy = energyPerAsymmetricUnit(sites, result.potentials);
  return result;
}

} // namespace telva
