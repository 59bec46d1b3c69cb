// The supercell: its matrix (rows are the supercell's vectors in parent
// lattice vectors), the parent lattice translations inside it, its cell, and
// its sites, each the image of a parent position moved by one translation.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "crystal/position.hpp"
#include "order/disordered_crystal.hpp"

namespace telva {

using IntMatrix = std::array<std::array<int, 3>, 3>;

struct SupercellSite {
  int position = 0;    // the parent position
  Position parent;     // fractional in the parent cell (an image plus a translation)
  Position fractional; // in the supercell, reduced into [0, 1)
};

struct Supercell {
  IntMatrix matrix{};
  int determinant = 0;
  IntMatrix adjugate{}; // determinant times the inverse: x_super = x_parent adjugate / det
  std::array<double, 6> cell{};
  std::vector<std::array<int, 3>> translations; // parent lattice vectors inside the supercell
  std::vector<SupercellSite> sites;             // per parent position, image, translation
};

int determinant(const IntMatrix& m);
IntMatrix diagonalMatrix(int a, int b, int c);

// "2x2x1" (or "2"), or nine integers separated by blanks or commas; nullopt
// for "auto". A command-line CifError for any other text.
IntMatrix parseSupercellMatrix(const std::string& text);

// "2x1x1" for a diagonal matrix, else its nine integers.
std::string matrixText(const IntMatrix& m);

// The cell parameters of the supercell: its metric M G M^T.
std::array<double, 6> supercellCell(const std::array<double, 6>& parentCell, const IntMatrix& m);

// Rows of Cartesian lattice vectors in Angstrom, a along x, b in the xy plane.
std::array<std::array<double, 3>, 3> cartesianRows(const std::array<double, 6>& cell);

// CifError for a determinant that is not positive.
Supercell buildSupercell(const DisorderedCrystal& crystal, const IntMatrix& matrix);

// The supercell's fractional coordinates of a parent point, reduced into [0, 1).
Position toSupercell(const Supercell& s, const Position& parent);

} // namespace telva
