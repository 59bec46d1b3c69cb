// The reciprocal coefficient table: for every reflection (h, k, l) of one half
// of reciprocal space inside the range qmax, the Fourier coefficient of the
// crystal's smeared charge density divided by q^2, as a cosine part A and a
// sine part B.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "crystal/cell_geometry.hpp"
#include "crystal/site.hpp"
#include "crystal/sym_op.hpp"
#include "electrostatics/table_rows.hpp"

namespace telva {

struct CoefficientTable {
  std::int32_t hmax = 0, kmax = 0, lmax = 0;
  bool inversionAtOrigin = false; // B is then identically zero and not stored
  // Dense box h in [-hmax, hmax], k in [-kmax, kmax], l in [0, lmax], h fastest.
  std::vector<double> A; // cosine part, e Angstrom^2
  std::vector<double> B; // sine part, empty with the inversion flag set
  // The half-space rows cut to their non-zero entries, for the fast synthesis.
  std::vector<TableRow> rows;
  // Sum of |A| + |B| over the table, which bounds the size of the terms of
  // any synthesis.
  double absoluteSum = 0;

  std::size_t index(int h, int k, int l) const {
    return std::size_t(h + hmax) +
           std::size_t(2 * hmax + 1) * (std::size_t(k + kmax) + std::size_t(2 * kmax + 1) * l);
  }
  double cosinePart(int h, int k, int l) const { return A[index(h, k, l)]; }
  double sinePart(int h, int k, int l) const { return B.empty() ? 0.0 : B[index(h, k, l)]; }
};

// What the table is built from.
struct TableInputs {
  const CellGeometry& geometry;
  double radius; // R, Angstrom
  double range;  // qmax, 1/Angstrom
  int inversionAtOrigin;
  std::span<const SymOp> symOps;
  std::span<const Site> sites;
};

// Calls visit(h, k, l) for every reflection of the half space of the box, in
// the table's order: l from 0 (outermost); k from 0 when l = 0, else from
// -kmax; h from 1 when l = k = 0, else from -hmax (innermost). The half space
// holds exactly one of each pair (h, -h) and not the origin.
template <typename Visit>
void forEachHalfSpaceReflection(std::int32_t hmax, std::int32_t kmax, std::int32_t lmax,
                                Visit&& visit) {
  for (int l = 0; l <= lmax; ++l)
    for (int k = l == 0 ? 0 : -kmax; k <= kmax; ++k)
      for (int h = (l == 0 && k == 0) ? 1 : -hmax; h <= hmax; ++h)
        visit(h, k, l);
}

// The table of the geometry's index box with every entry 0; B is left out
// when the inversion flag is set.
CoefficientTable zeroTable(const CellGeometry& g, int inversionAtOrigin);

// Fills A and B for the whole half space. The box is sized from the geometry's
// index limits; the caller has checked it against the table capacity.
CoefficientTable buildCoefficientTable(const TableInputs& inputs);

// The sums of one reflection over operations (outer) and sites (inner), in
// that order: (sum of cos phi w, sum of sin phi w) with w = (Z F) W.
struct StructureSums {
  double cosine = 0, sine = 0;
};
StructureSums structureSums(const TableInputs& inputs, int h, int k, int l, double formFactor);

} // namespace telva
