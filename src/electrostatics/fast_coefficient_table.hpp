// The coefficient table built by separable phase factors, on every core: the
// same table as the term-by-term build, to rounding.
#pragma once

#include "electrostatics/coefficient_table.hpp"

namespace telva {

CoefficientTable buildCoefficientTableFast(const TableInputs& inputs);

} // namespace telva
