// Symmetry operations as integer matrices with exact translations: parsing of
// coordinate triplets, the group checks, the pairing of operations with their
// inverted companions, the AxisCode rows, and the images of a site.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "cif/cif_data.hpp"
#include "crystal/cell_geometry.hpp"
#include "crystal/position.hpp"
#include "crystal/sym_op.hpp"

namespace telva {

// Parses a coordinate triplet such as "-y+1/2, x-y, z+0.5" (case and blanks
// ignored; translations as fractions or decimals that are whole 24ths).
// Throws CifError naming the triplet when it is not one.
MatrixOp parseTriplet(std::string_view text);

MatrixOp identityOp();
bool isIdentity(const MatrixOp& op);
// a after b: x -> a(b(x)), translation reduced into the cell.
MatrixOp compose(const MatrixOp& a, const MatrixOp& b);
// x -> -(R x + t), translation reduced into the cell.
MatrixOp negated(const MatrixOp& op);

// Drops repeated operations (equal modulo lattice translations), puts the
// identity first, and checks that the result is a group: a missing identity, a
// rotation that is not invertible over the integers, or a product of two
// operations that is not in the list is a CifError naming them.
std::vector<MatrixOp> normalisedGroup(std::vector<MatrixOp> ops);

// The operations to write and the inversion flag. When the inversion through
// the origin (-x, -y, -z, no translation modulo lattice) is in the group, every
// operation has its companion -op in the group too; one of each pair is kept,
// in the group's order, and `inversionAtOrigin` is set. Otherwise all are kept.
struct WrittenOperations {
  std::vector<MatrixOp> ops;
  bool inversionAtOrigin = false;
};
WrittenOperations chooseWrittenOperations(const std::vector<MatrixOp>& group);

// The operation as three AxisCode rows. A row with more than two terms or a
// coefficient other than -1, 0, 1 has no AxisCode form: CifError naming the
// operation.
SymOp toAxisCodeRows(const MatrixOp& op);

// The image of a point, not reduced.
Position apply(const MatrixOp& op, const Position& p);

// The distinct points of the cell (reduced into [0, 1)) that the operations
// make of `p`, two images counting as one when they lie within `toleranceA`
// Angstrom of each other modulo lattice.
std::vector<Position> distinctImages(const std::vector<MatrixOp>& group, const Position& p,
                                     const CellGeometry& cell, double toleranceA);

} // namespace telva
