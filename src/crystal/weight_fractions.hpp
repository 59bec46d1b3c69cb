// W as the fraction k/N it stands for. A site's W is its multiplicity over
// the group order N (the operations with their inverted companions); an input
// file holds it in a field of nine columns, so 4/192 reads back as .02083333,
// 1.7e-9 short. The sphere method's listing takes W as read; the Gaussian
// method converges far below that rounding (1e-8 e/A and less), and the
// rounding of W would show in its potentials (up to 5e-7 e/A on magnetite).
#pragma once

#include <optional>

#include "crystal/crystal.hpp"

namespace telva {

// The columns of the input file's W field (charge, W, x, y, z: f9.4 each).
inline constexpr int weightFieldWidth = 9;

// The operations with their inverted companions.
int groupOrder(const Crystal& crystal);

// k/N for the whole k nearest to weight * N, when `weight` lies within half
// a unit of the last decimal a field of `width` columns holds for it (8
// decimals below 1: ".02083333") and is not k/N already; nullopt otherwise.
std::optional<double> weightAsGroupFraction(double weight, int groupOrder,
                                            int width = weightFieldWidth);

// Every site's W taken as its k/N where weightAsGroupFraction finds one;
// returns the number of sites changed.
int snapWeightsToGroupOrder(Crystal& crystal);

} // namespace telva
