// A test crystal as the kernels take it, with its R and qmax, and operations
// written as three rows of translation and axis codes.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "crystal/site.hpp"
#include "crystal/sym_op.hpp"

namespace telva::test {

struct Structure {
  std::string name;
  std::array<double, 6> lattice;
  double radius, range;
  int inversion;
  std::vector<SymOp> ops;
  std::vector<Site> sites;
};

inline SymOp op(double tx, int x1, int x2, double ty, int y1, int y2, double tz, int z1, int z2) {
  return {{{{tx, x1, x2}, {ty, y1, y2}, {tz, z1, z2}}}};
}

} // namespace telva::test
