// The coefficient table built by separable phase factors, on every core: the
// same table as the term-by-term build (reference/reference_table.hpp), to
// rounding, and the same for every number of threads.
#pragma once

#include "electrostatics/coefficient_table.hpp"

namespace telva {

// Fills A and B for the whole half space within the range, and the table's
// non-zero rows and sum of |A| + |B|. The box is sized from the geometry's
// index limits; the caller has checked it against what it can hold.
CoefficientTable buildCoefficientTable(const TableInputs& inputs);

} // namespace telva
