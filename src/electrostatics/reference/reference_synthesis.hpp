// The synthesis term by term: the potential at one point from every entry of
// the table in the half space's order, one cosine or sine per entry. It is the
// reference the production synthesis (table_synthesis.hpp) is tested against,
// and the listing's fallback for a value whose printed digits the production
// synthesis' rounding could change.
#pragma once

#include "crystal/site.hpp"
#include "electrostatics/coefficient_table.hpp"
#include "electrostatics/positions.hpp"

namespace telva {

// (2/(pi V)) sum over the half space of A cos(2 pi h.r) + B sin(2 pi h.r), in
// e/Angstrom; the zero wave vector is excluded. The cosine pass runs over the
// whole half space first, then (without the inversion flag) the sine pass adds
// into the same sum. Entries outside the range are zero and summed like the
// others.
double referenceTablePotential(const CoefficientTable& table, double volume, double x, double y,
                               double z);

// Potential at a site: the table's potential there minus the site's own
// smeared charge at its centre (the self term, from the full charge, without W).
double referenceSitePotential(const CoefficientTable& table, double volume, double radius,
                              const Site& site);

// One point, with P by the term-by-term synthesis.
PositionResult referencePosition(const PositionContext& context, const Position& point);

} // namespace telva
