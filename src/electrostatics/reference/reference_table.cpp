#include "electrostatics/reference/reference_table.hpp"

#include <cmath>

#include "electrostatics/half_space.hpp"
#include "electrostatics/sphere_form_factor.hpp"

namespace telva {

StructureSums structureSums(const TableInputs& inputs, int h, int k, int l, double formFactor) {
  StructureSums sums;
  const bool withSine = inputs.inversionAtOrigin == 0;
  for (const SymOp& op : inputs.symOps) {
    const TransformedReflection t = transformReflection(op, h, k, l);
    for (const Site& site : inputs.sites) {
      const double w = (site.charge * formFactor) * site.W;
      const double phase = reflectionPhase(t, site.x, site.y, site.z);
      sums.cosine = sums.cosine + std::cos(phase) * w;
      if (withSine) sums.sine = sums.sine + std::sin(phase) * w;
    }
  }
  return sums;
}

CoefficientTable referenceCoefficientTable(const TableInputs& inputs) {
  const CellGeometry& g = inputs.geometry;
  CoefficientTable table = zeroTable(g, inputs.inversionAtOrigin);

  const double radiusTwoPi = inputs.radius * twoPi;
  forEachHalfSpaceReflection(g.hmax, g.kmax, g.lmax, [&](int h, int k, int l) {
    const double q2 = recipLengthSquared(g, h, k, l);
    const double q = std::sqrt(q2);
    if (q > inputs.range) return; // outside the range: both parts stay 0
    const double formFactor = sphereFormFactor(q * radiusTwoPi, smearedChargeType);
    const StructureSums sums = structureSums(inputs, h, k, l, formFactor);
    const std::size_t i = table.index(h, k, l);
    if (table.inversionAtOrigin) {
      // Each listed operation's inverted companion has the opposite phase:
      // the cosine sums double and the sine sums cancel.
      table.A[i] = (sums.cosine + sums.cosine) / q2;
    } else {
      table.A[i] = sums.cosine / q2;
      table.B[i] = sums.sine / q2;
    }
  });
  table.rows = nonzeroRows(table);
  for (const TableRow& row : table.rows)
    table.absoluteSum += absoluteRowSum(table, row);
  return table;
}

} // namespace telva
