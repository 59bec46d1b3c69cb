// A crystal as every front end hands it to the computation: the lattice
// parameters, the symmetry operations with the inversion flag, and the sites
// of the asymmetric unit.
#pragma once

#include <array>
#include <vector>

#include "crystal/site.hpp"
#include "crystal/sym_op.hpp"

namespace telva {

struct Crystal {
  // a, b, c, alpha, beta, gamma in any of the four forms buildCellGeometry
  // reads (direct or reciprocal edges, degrees or cosines).
  std::array<double, 6> lattice{};
  std::vector<SymOp> symOps;      // the identity among them
  bool inversionAtOrigin = false; // each operation then has the companion -op
  std::vector<Site> sites;
};

} // namespace telva
