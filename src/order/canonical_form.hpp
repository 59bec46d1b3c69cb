// One configuration per ordering: the lexicographically least of its images
// under the group; and the size of its stabiliser, which gives the number of
// configurations the ordering stands for (|G| / |stabiliser|).
#pragma once

#include <vector>

#include "order/configuration_space.hpp"
#include "order/supercell_group.hpp"

namespace telva {

// (g.c)[g[i]] = c[i].
Configuration imageOf(const Permutation& g, const Configuration& c);
Configuration canonicalForm(const std::vector<Permutation>& group, const Configuration& c);
int stabiliserOrder(const std::vector<Permutation>& group, const Configuration& c);

} // namespace telva
