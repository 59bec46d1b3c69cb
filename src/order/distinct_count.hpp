// The number of symmetry-distinct orderings, exactly, before any is
// enumerated: Burnside's lemma, the average over the group of the
// configurations each permutation fixes. A permutation fixes a configuration
// when every cycle holds one species; with the composition of each orbit
// fixed, those are the ways of giving the cycles species whose lengths add up
// to each species' count (Polya's counting with a fixed content).
#pragma once

#include <vector>

#include "order/big_count.hpp"
#include "order/configuration_space.hpp"
#include "order/supercell_group.hpp"

namespace telva {

// Configurations of the space that the permutation leaves unchanged.
BigCount fixedConfigurations(const ConfigurationSpace& space, const Permutation& g);

// Orbits of the group on the configurations.
BigCount distinctConfigurations(const ConfigurationSpace& space,
                                const std::vector<Permutation>& group);

} // namespace telva
