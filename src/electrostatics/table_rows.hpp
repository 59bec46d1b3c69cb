// Rows of the table's half space: runs of constant (k, l) along h, the unit of
// work of the fast kernels.
#pragma once

#include <cstdint>
#include <vector>

#include "crystal/cell_geometry.hpp"

namespace telva {

struct CoefficientTable;

// Entries (hFirst..hLast, k, l), contiguous in the table.
struct TableRow {
  int k = 0, l = 0;
  int hFirst = 0, hLast = -1;
  int length() const { return hLast - hFirst + 1; }
};

// The half-space rows of the box in table order, each cut to the h that may
// hold a reflection with q <= range (a window a little wider than the exact
// one; the entries are still tested one by one). Empty rows are left out.
std::vector<TableRow> rowsWithinRange(const CellGeometry& g, double range);

// The row cut to its first and last non-zero entry (empty when it has none).
TableRow trimmedRow(const CoefficientTable& table, TableRow row);

// The half-space rows in table order, each cut to its first and last non-zero
// entry; rows without any are left out.
std::vector<TableRow> nonzeroRows(const CoefficientTable& table);

// The sum of |A| + |B| over the entries of a row.
double absoluteRowSum(const CoefficientTable& table, const TableRow& row);

} // namespace telva
