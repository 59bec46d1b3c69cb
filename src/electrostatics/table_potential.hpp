// The potential of all smeared charges of the crystal at a fractional
// position, synthesised from the coefficient table.
#pragma once

#include "electrostatics/coefficient_table.hpp"

namespace telva {

// (2/(pi V)) sum over the half space of A cos(2 pi h.r) + B sin(2 pi h.r), in
// e/Angstrom; the zero wave vector is excluded. The cosine pass runs over the
// whole half space first, then (without the inversion flag) the sine pass adds
// into the same sum. Entries outside the range are zero and summed like the
// others.
double tablePotential(const CoefficientTable& table, double volume, double x, double y, double z);

} // namespace telva
