#include "order/configuration_space.hpp"

namespace telva {

ConfigurationSpace configurationSpace(const DisorderedCrystal& crystal, const Supercell& supercell,
                                      const Composition& composition) {
  ConfigurationSpace space;
  const int n = static_cast<int>(supercell.sites.size());
  space.disorderedSite.assign(n, -1);
  space.fixedSpecies.assign(n, -1);
  std::vector<int> orbitOf(crystal.positions.size(), -1);
  for (std::size_t p = 0; p < crystal.positions.size(); ++p) {
    const std::vector<int>& counts = composition.counts[p];
    int filled = 0, only = 0;
    for (std::size_t k = 0; k < counts.size(); ++k)
      if (counts[k] > 0) {
        ++filled;
        only = static_cast<int>(k);
      }
    if (filled > 1) {
      orbitOf[p] = static_cast<int>(space.orbits.size());
      OrbitSpace orbit;
      orbit.position = static_cast<int>(p);
      for (std::size_t k = 0; k < counts.size(); ++k)
        if (counts[k] > 0) {
          orbit.species.push_back(static_cast<int>(space.species.size()));
          orbit.counts.push_back(counts[k]);
          space.species.push_back(crystal.positions[p].species[k]);
          space.charges.push_back(crystal.positions[p].species[k].charge);
        }
      space.orbits.push_back(orbit);
    } else {
      orbitOf[p] = -1 - only; // fixed with species `only`
    }
  }
  if (space.orbits.empty())
    throw CifError("no disordered position: every position holds one species at full occupancy"
                   " (after rounding to the supercell), so there is nothing to order");
  if (space.species.size() > 255) throw CifError("more than 255 species on the mixed sites");
  for (int i = 0; i < n; ++i) {
    const SupercellSite& s = supercell.sites[i];
    const int o = orbitOf[s.position];
    if (o >= 0) {
      space.disorderedSite[i] = space.size();
      space.siteOrbit.push_back(o);
      space.orbits[o].sites.push_back(space.size());
      space.sites.push_back(i);
    } else {
      space.fixedSpecies[i] = -1 - o;
      if (!crystal.positions[s.position].species[-1 - o].vacancy) ++space.atoms;
    }
  }
  for (const OrbitSpace& orbit : space.orbits)
    for (std::size_t k = 0; k < orbit.species.size(); ++k)
      if (!space.species[orbit.species[k]].vacancy) space.atoms += orbit.counts[k];
  return space;
}

std::vector<double> chargesOf(const ConfigurationSpace& space, const Configuration& c) {
  std::vector<double> q(c.size());
  for (std::size_t i = 0; i < c.size(); ++i)
    q[i] = space.charges[c[i]];
  return q;
}

BigCount totalConfigurations(const ConfigurationSpace& space) {
  BigCount total(1);
  for (const OrbitSpace& orbit : space.orbits) {
    int left = static_cast<int>(orbit.sites.size());
    for (int count : orbit.counts) {
      total = total * binomial(left, count);
      left -= count;
    }
  }
  return total;
}

} // namespace telva
