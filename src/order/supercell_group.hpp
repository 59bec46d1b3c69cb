// The symmetry of the configurations: the parent group's operations whose
// rotation maps the supercell lattice onto itself, each combined with every
// parent lattice translation inside the supercell, as permutations of the
// supercell's sites. Two configurations that one of them maps onto each
// other are one ordering.
#pragma once

#include <vector>

#include "order/configuration_space.hpp"
#include "order/disordered_crystal.hpp"
#include "order/supercell.hpp"

namespace telva {

using Permutation = std::vector<int>; // image of each site

struct SupercellGroup {
  int parentOperations = 0; // of the parent group (modulo its lattice) that keep the supercell
  int operations = 0;       // distinct permutations of all the supercell's sites
  // Distinct permutations of the disordered sites, the identity first; a
  // configuration c maps to g.c with (g.c)[g[i]] = c[i].
  std::vector<Permutation> onDisordered;
};

// CifError when an operation maps a site onto no site (coordinates that do
// not follow the group).
SupercellGroup supercellGroup(const DisorderedCrystal& crystal, const Supercell& supercell,
                              const ConfigurationSpace& space);

} // namespace telva
