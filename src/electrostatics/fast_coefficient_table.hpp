// The coefficient table built by separable phase factors, on every core: the
// same table as the term-by-term build, to rounding.
#pragma once

#include <functional>

#include "electrostatics/coefficient_table.hpp"

namespace telva {

// The Fourier transform of the unit charge distribution that the table
// represents, as a function of q = |s| (1/Angstrom, without 2 pi).
using FormFactor = std::function<double(double q)>;

// The table of the smeared spheres of radius inputs.radius.
CoefficientTable buildCoefficientTableFast(const TableInputs& inputs, int threads = 0);

// The table of any spherical charge distribution: each entry's structure sum
// times formFactor(q), over q^2 (inputs.radius is not used). On up to
// `threads` threads (all when 0); the table is the same for every count.
CoefficientTable buildCoefficientTableFast(const TableInputs& inputs, const FormFactor& formFactor,
                                           int threads = 0);

} // namespace telva
