// Potentials at arbitrary positions: for every position record after the
// sites, the potential of all point charges (phic) and the potential without
// the neighbouring atom (phiw), with that atom's label and distance.
#pragma once

#include <optional>
#include <span>
#include <vector>

#include "crystal/cell_geometry.hpp"
#include "crystal/site.hpp"
#include "crystal/sym_op.hpp"
#include "driver/record_files.hpp"
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

// One point, with P by the term-by-term synthesis.
PositionResult evaluatePosition(const PositionContext& context, const Position& point);

// Many points, with P by the fast synthesis; the results are in the points' order
// and the same on any number of threads (`threads`, 0 for threadCount()).
std::vector<PositionResult> evaluatePositions(const PositionContext& context,
                                              std::span<const Position> points, int threads = 0);

// Writes the positions heading, then reads, evaluates and lists the position
// records one at a time until the end of the input file.
void listPositions(const PositionContext& context, InputFile& input, Listing& listing);

} // namespace telva
