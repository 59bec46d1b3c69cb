// Potentials at arbitrary points of the crystal: the potential of all point
// charges (phic) and the potential without the neighbouring atom (phiw), with
// that atom and its distance.
#pragma once

#include <span>
#include <vector>

#include "crystal/cell_geometry.hpp"
#include "crystal/site.hpp"
#include "crystal/sym_op.hpp"
#include "electrostatics/coefficient_table.hpp"

namespace telva {

struct PositionContext {
  const CoefficientTable& table;
  const CellGeometry& geometry;
  double radius; // R, Angstrom
  int inversionAtOrigin;
  std::span<const SymOp> symOps;
  std::span<const Site> sites;
};

// The atom treated as the point's neighbour: the first image closer than R in
// visiting order, or else the nearest image visited.
struct Neighbour {
  int site = -1; // index into the sites; -1 when no image was visited
  double distance = 0;
  bool inSphere = false;
};

// Searches site by site, operation by operation (with the inversion flag set,
// each operation's image followed by its inverted companion's), and the
// lattice shifts -1, 0, +1 along a, b, c around the unreduced difference; a
// later candidate replaces an earlier one only when strictly nearer, and the
// first one closer than R ends the search.
Neighbour findNeighbour(const PositionContext& context, const Position& point);

struct PositionResult {
  Position point;
  double smeared = 0; // P, the potential of all smeared charges
  double phiw = 0;    // without the neighbouring atom
  double phic = 0;    // of all point charges
  Neighbour neighbour;
};

// P and the neighbour corrections of one point, P given.
PositionResult completePosition(const PositionContext& context, const Position& point,
                                double smeared);
// The same with the neighbour given, as findNeighbour finds it.
PositionResult completePosition(const PositionContext& context, const Position& point,
                                double smeared, const Neighbour& neighbour);

// Many points, with P by the production synthesis on `threads` threads (0:
// all); the results are in the points' order.
std::vector<PositionResult> evaluatePositions(const PositionContext& context,
                                              std::span<const Position> points, int threads = 0);

} // namespace telva
