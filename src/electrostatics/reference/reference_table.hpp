// The coefficient table term by term: every reflection of the half space in
// order, every operation and site in order, one cosine and sine per term. It
// is the reference the production build (table_build.hpp) is tested against,
// and it is as slow as it is plain.
#pragma once

#include "electrostatics/coefficient_table.hpp"

namespace telva {

// Fills A and B for the whole half space. The box is sized from the geometry's
// index limits; the caller has checked it against the table capacity.
CoefficientTable referenceCoefficientTable(const TableInputs& inputs);

// The sums of one reflection over operations (outer) and sites (inner), in
// that order: (sum of cos phi w, sum of sin phi w) with w = (Z F) W.
struct StructureSums {
  double cosine = 0, sine = 0;
};
StructureSums structureSums(const TableInputs& inputs, int h, int k, int l, double formFactor);

} // namespace telva
