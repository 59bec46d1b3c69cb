// The table potential at every node of a grid over the cell, by separable
// sums: exact at the nodes (the term-by-term synthesis, to rounding), not an
// interpolation.
#pragma once

#include <cstddef>
#include <functional>
#include <vector>

#include "electrostatics/coefficient_table.hpp"

namespace telva {

// The nodes (i/n1, j/n2, k/n3) of the cell, i in [0, n1) and so on; values
// are stored with k fastest and i slowest.
struct GridSize {
  int n1 = 0, n2 = 0, n3 = 0;
  std::size_t nodes() const { return std::size_t(n1) * std::size_t(n2) * std::size_t(n3); }
  std::size_t index(int i, int j, int k) const {
    return (std::size_t(i) * std::size_t(n2) + std::size_t(j)) * std::size_t(n3) + std::size_t(k);
  }
};

// Called now and then with the planes done and the planes in all, from
// whichever thread finished the last one; it must be safe to call from any
// thread.
using GridProgress = std::function<void(int done, int total)>;

// tablePotential at every node of the grid, in e/Angstrom. With C = A - iB,
// P(x, y, z) = (2/(pi V)) Re sum_h e^{2 pi i h x} sum_k e^{2 pi i k y}
// sum_l C(h, k, l) e^{2 pi i l z}: for each plane of constant z the sum over
// l is formed for every (h, k) row of the table, then the sum over k for
// every node row y, then the sum over h for every node. At the nodes the
// phase factors repeat with the grid, so the partial sums of indices equal
// modulo the grid size are added (folded) before the factors are applied;
// each factor e^{2 pi i r/n}, r in [0, n), comes from its own cosine and
// sine. Planes are computed independently on up to `threads` threads
// (threadCount() when 0); a node's value depends on neither.
std::vector<double> gridPotentials(const CoefficientTable& table, double volume,
                                   const GridSize& grid, int threads = 0,
                                   const GridProgress& progress = {});

// A bound on the scratch memory, in bytes, that gridPotentials uses on each
// thread beside the result, for a table of the index limits hmax, kmax.
std::size_t gridScratchBytes(int hmax, int kmax, const GridSize& grid);

} // namespace telva
