// The table potential at many positions at once, by separable phase factors
// on every core: the same values as the term-by-term synthesis
// (reference/reference_synthesis.hpp), to rounding.
#pragma once

#include <span>
#include <vector>

#include "crystal/position.hpp"
#include "electrostatics/coefficient_table.hpp"

namespace telva {

// The table's potential P at every point, in e/Angstrom, with each table entry
// loaded once for a whole batch of points, on `threads` threads (0: all). The
// result of a point does not depend on the other points nor on the number of
// threads.
std::vector<double> tablePotentials(const CoefficientTable& table, double volume,
                                    std::span<const Position> points, int threads = 0);

// A bound on the difference between tablePotentials and the term-by-term
// synthesis at any point: 1e-12 of (2/(pi V)) sum |A| + |B|, the largest
// value the sum of the absolute terms can take.
double synthesisTolerance(const CoefficientTable& table, double volume);

} // namespace telva
