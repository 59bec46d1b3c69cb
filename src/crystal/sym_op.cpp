#include "crystal/sym_op.hpp"

#include "base/numbers.hpp"

namespace telva {

namespace {

// Adds or subtracts the coordinate a code names; other codes add nothing.
double addTerm(double sum, AxisCode code, const double (&coordinates)[3]) {
  if (code >= 1 && code <= 3) return sum + coordinates[code - 1];
  if (code <= -1 && code >= -3) return sum - coordinates[-code - 1];
  return sum;
}

} // namespace

Position applyToPosition(const SymOp& op, double x, double y, double z) {
  const double coordinates[3] = {x, y, z};
  double image[3];
  for (int i = 0; i < 3; ++i) {
    const SymOpRow& row = op.rows[i];
    image[i] = addTerm(addTerm(row.translation, row.code1, coordinates), row.code2, coordinates);
  }
  return {image[0], image[1], image[2]};
}

TransformedReflection transformReflection(const SymOp& op, int h, int k, int l) {
  const double indices[3] = {double(h), double(k), double(l)};
  double transposed[3] = {0, 0, 0};
  for (int axis = 1; axis <= 3; ++axis) {
    for (int i = 0; i < 3; ++i) {
      for (AxisCode code : {op.rows[i].code1, op.rows[i].code2}) {
        if (code == axis)
          transposed[axis - 1] += indices[i];
        else if (code == -axis)
          transposed[axis - 1] -= indices[i];
      }
    }
  }
  const double phase = (op.rows[0].translation * indices[0] + op.rows[1].translation * indices[1]) +
                       op.rows[2].translation * indices[2];
  return {transposed[0], transposed[1], transposed[2], phase};
}

double reflectionPhase(const TransformedReflection& t, double x, double y, double z) {
  return (((t.h * x + t.phase) + t.k * y) + t.l * z) * twoPi;
}

} // namespace telva
