// The table potential at many positions at once, by separable phase factors
// on every core: the same values as the term-by-term synthesis, to rounding.
#pragma once

#include <span>
#include <vector>

#include "electrostatics/coefficient_table.hpp"

namespace telva {

// tablePotential at every point, with each table entry loaded once for a
// whole batch of points. The result of a point does not depend on the other
// points nor on the number of threads (`threads`, 0 for threadCount()).
std::vector<double> tablePotentials(const CoefficientTable& table, double volume,
                                    std::span<const Position> points, int threads = 0);

// A bound on the difference between tablePotentials and the term-by-term
// tablePotential at any point: 1e-12 of (2/(pi V)) sum |A| + |B|, the largest
// value the sum of the absolute terms can take. Where a printed value could
// round differently within this bound, the program evaluates that point term
// by term, so that the listing is the term-by-term evaluation's.
double fastSynthesisTolerance(const CoefficientTable& table, double volume);

// Whether every value within `tolerance` of `value` prints as `value` does.
bool printsStably(double value, double tolerance, int width, int decimals, bool scientific);

} // namespace telva
