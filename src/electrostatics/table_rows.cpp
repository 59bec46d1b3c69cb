#include "electrostatics/table_rows.hpp"

#include <algorithm>
#include <cmath>

#include "electrostatics/coefficient_table.hpp"
#include "electrostatics/half_space.hpp"

namespace telva {

std::vector<TableRow> rowsWithinRange(const CellGeometry& g, double range) {
  std::vector<TableRow> rows;
  if (!(range >= 0)) return rows;
  // q^2 = g11 h^2 + (g12 k + g13 l) h + rowTerm <= range^2, solved for h with
  // a margin so that rounding cannot drop an entry at the edge.
  const double limit = range * range * (1 + 1e-9) + 1e-300;
  const double g11 = g.recipMetric[0];
  forEachHalfSpaceRow(g.hmax, g.kmax, g.lmax, [&](int k, int l, int hFirst) {
    const double b = g.recipMetric[3] * k + g.recipMetric[4] * l;
    const double c = recipRowTerm(g, k, l) - limit;
    const double discriminant = b * b - 4 * g11 * c;
    if (discriminant < 0) return;
    const double root = std::sqrt(discriminant);
    const double low = std::floor((-b - root) / (2 * g11)) - 1;
    const double high = std::ceil((-b + root) / (2 * g11)) + 1;
    TableRow row{k, l, hFirst, g.hmax};
    if (low > row.hFirst) row.hFirst = static_cast<int>(std::min<double>(low, g.hmax + 1));
    if (high < row.hLast) row.hLast = static_cast<int>(std::max<double>(high, -g.hmax - 1));
    if (row.length() > 0) rows.push_back(row);
  });
  return rows;
}

TableRow trimmedRow(const CoefficientTable& table, TableRow row) {
  auto nonzero = [&](int h) {
    return table.cosinePart(h, row.k, row.l) != 0 || table.sinePart(h, row.k, row.l) != 0;
  };
  while (row.hFirst <= row.hLast && !nonzero(row.hFirst))
    ++row.hFirst;
  while (row.hLast >= row.hFirst && !nonzero(row.hLast))
    --row.hLast;
  return row;
}

std::vector<TableRow> nonzeroRows(const CoefficientTable& table) {
  std::vector<TableRow> rows;
  forEachHalfSpaceRow(table.hmax, table.kmax, table.lmax, [&](int k, int l, int hFirst) {
    const TableRow row = trimmedRow(table, {k, l, hFirst, table.hmax});
    if (row.length() > 0) rows.push_back(row);
  });
  return rows;
}

double absoluteRowSum(const CoefficientTable& table, const TableRow& row) {
  double sum = 0;
  for (int h = row.hFirst; h <= row.hLast; ++h)
    sum +=
        std::fabs(table.cosinePart(h, row.k, row.l)) + std::fabs(table.sinePart(h, row.k, row.l));
  return sum;
}

} // namespace telva
