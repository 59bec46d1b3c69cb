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
#include "electrostatics/half_space.hpp"
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
  int threads = 0; // threads of the production build; 0: all
};

// The table of the geometry's index box with every entry 0; B is left out
// when the inversion flag is set.
CoefficientTable zeroTable(const CellGeometry& g, int inversionAtOrigin);

} // namespace telva
