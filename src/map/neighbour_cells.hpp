// The neighbour of many points of the cell, found through cells: the same
// atom and the same distance as findNeighbour, without visiting every image.
#pragma once

#include <vector>

#include "electrostatics/positions.hpp"

namespace telva {

// Every point findNeighbour measures against: each image of each site (with
// the inverted companions when the flag is set) moved by the 27 lattice
// shifts -1, 0, +1, numbered in findNeighbour's visiting order, and sorted
// into a box of cells over the cell and a margin around it. Points in the
// cell [0, 1]^3 are answered from the cells near them; any other point, and a
// point without an image within the margin, by findNeighbour itself.
struct NeighbourCells {
  struct Candidate {
    double x, y, z;  // the image, unreduced, as findNeighbour forms it
    int na, nb, nc;  // the lattice shift added to the difference
    int site;        // index into the sites
    long long order; // position in findNeighbour's visiting order
  };
  std::vector<Candidate> candidates;  // by cell
  std::vector<std::size_t> cellStart; // candidates of cell c: [cellStart[c], cellStart[c + 1])
  int cells[3] = {0, 0, 0};
  double lower[3] = {0, 0, 0}, width[3] = {1, 1, 1}; // fractional box of the cells
  double reach = 0;       // Angstrom: every image within this of a point in the cell is held
  double firstRadius = 0; // Angstrom: the first search radius for the nearest image
};

NeighbourCells buildNeighbourCells(const PositionContext& context);

// findNeighbour(context, point), by way of the cells.
Neighbour cellNeighbour(const NeighbourCells& cells, const PositionContext& context,
                        const Position& point);

} // namespace telva
