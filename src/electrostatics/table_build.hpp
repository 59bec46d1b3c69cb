// The coefficient table built by separable phase factors, on every core: the
// same table as the term-by-term build (reference/reference_table.hpp), to
// rounding, and the same for every number of threads.
#pragma once

#include <functional>

#include "electrostatics/coefficient_table.hpp"

namespace telva {

// The Fourier transform of the unit charge distribution that a table
// represents, as a function of q = |s| (1/Angstrom, without 2 pi).
using FormFactor = std::function<double(double q)>;

// The table of the smeared spheres of radius inputs.radius: fills A and B for
// the whole half space within the range, and the table's non-zero rows and sum
// of |A| + |B|. The box is sized from the geometry's index limits; the caller
// has checked it against what it can hold.
CoefficientTable buildCoefficientTable(const TableInputs& inputs);

// The table of any spherical charge distribution: each entry's structure sum
// times formFactor(q), over q^2 (inputs.radius is not used).
CoefficientTable buildCoefficientTable(const TableInputs& inputs, const FormFactor& formFactor);

} // namespace telva
