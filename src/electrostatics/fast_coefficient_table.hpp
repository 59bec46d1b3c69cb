// The coefficient table built by separable phase factors, on every core: the
// same table as the term-by-term build, to rounding.
#pragma once

#include "electrostatics/coefficient_table.hpp"

namespace telva {

// `threads` caps the threads used (0: threadCount()); the table is the same
// for every count.
CoefficientTable buildCoefficientTableFast(const TableInputs& inputs, int threads = 0);

} // namespace telva
