// Symmetry operations of the space group, as three rows of a translation and
// two signed axis codes: row i gives x'_i = translation_i + term(code1) + term(code2).
#pragma once

#include <array>

#include "crystal/position.hpp"

namespace telva {

// A signed coordinate term: 0 none, 1/-1 +x/-x, 2/-2 +y/-y, 3/-3 +z/-z.
// Any other value names no term and contributes nothing.
using AxisCode = int;

struct SymOpRow {
  double translation = 0; // in fractions of the cell edge
  AxisCode code1 = 0;
  AxisCode code2 = 0;
};

struct SymOp {
  std::array<SymOpRow, 3> rows;
};

// The image of a fractional position, not reduced into the cell.
Position applyToPosition(const SymOp& op, double x, double y, double z);

// The action of an operation on a reflection (h, k, l): the transposed indices
// (h', k', l') = R^T (h, k, l) and the translation phase T = t.(h, k, l), in
// cycles, so that h'.r + T = (h, k, l).(R r + t) for every position r.
struct TransformedReflection {
  double h = 0, k = 0, l = 0;
  double phase = 0;
};

TransformedReflection transformReflection(const SymOp& op, int h, int k, int l);

// Phase of the image of (x, y, z) for a transformed reflection, in radians:
// 2 pi (h'x + k'y + l'z + T), evaluated as (((h'x + T) + k'y) + l'z) 2 pi.
double reflectionPhase(const TransformedReflection& t, double x, double y, double z);

// With the inversion flag set, every listed operation has an inverted
// companion x -> -(R x + t); the companions are never stored.
inline bool hasInversionCompanions(int inversionAtOrigin) {
  return inversionAtOrigin != 0;
}

} // namespace telva
