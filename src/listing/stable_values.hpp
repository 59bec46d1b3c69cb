// What the listing prints must not depend on how a value was summed. The
// production synthesis differs from the term-by-term one by rounding, bounded
// by synthesisTolerance; where a printed field could come out otherwise
// within that bound, the value is formed term by term instead, so that the
// listing is the term-by-term evaluation's.
#pragma once

#include <span>
#include <vector>

#include "crystal/site.hpp"
#include "electrostatics/coefficient_table.hpp"
#include "electrostatics/positions.hpp"

namespace telva {

// Whether every value within `tolerance` of `value` prints as `value` does in
// a fixed (F width.decimals) or scientific (E width.decimals) field.
bool printsStably(double value, double tolerance, int width, int decimals, bool scientific);

// The site potentials as the site section prints them: a site whose printed
// potential could differ from the term-by-term evaluation's (and all sites,
// when the printed energy could) is evaluated term by term.
std::vector<double> stableSitePotentials(const CoefficientTable& table, double volume,
                                         double radius, std::span<const Site> sites,
                                         int threads = 0);

// The points as the positions section prints them: a point whose phiw or phic
// could print otherwise is evaluated term by term.
std::vector<PositionResult> stablePositions(const PositionContext& context,
                                            std::span<const Position> points, int threads = 0);

} // namespace telva
