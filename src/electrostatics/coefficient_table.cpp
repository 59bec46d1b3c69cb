#include "electrostatics/coefficient_table.hpp"

namespace telva {

CoefficientTable zeroTable(const CellGeometry& g, int inversionAtOrigin) {
  CoefficientTable table;
  table.hmax = g.hmax, table.kmax = g.kmax, table.lmax = g.lmax;
  table.inversionAtOrigin = inversionAtOrigin != 0;
  const std::size_t entries = g.requiredEntries > 0 ? std::size_t(g.requiredEntries) : 0;
  table.A.assign(entries, 0.0);
  if (!table.inversionAtOrigin) table.B.assign(entries, 0.0);
  return table;
}

} // namespace telva
