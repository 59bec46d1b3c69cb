// A potential map: one quantity of the sphere method at every node of a grid
// over the cell, each node's value the one a position record there gives.
#pragma once

#include <cstddef>
#include <vector>

#include "electrostatics/grid_synthesis.hpp"
#include "electrostatics/positions.hpp"

namespace telva {

enum class MapQuantity {
  phic,    // the potential of all point charges
  phiw,    // without the neighbouring atom
  smeared, // P, the potential of all smeared charges
};

const char* quantityName(MapQuantity quantity);

struct PotentialMap {
  GridSize grid;
  std::vector<double> values; // e/Angstrom, stored as GridSize::index orders them
  // Nodes on an atom (nearer than coincidenceDistance); where phic is the
  // quantity, those of a charged atom hold phiw. Not counted for P.
  std::size_t nodesOnAtoms = 0;
};

// The fractional position of node (i, j, k): (i/n1, j/n2, k/n3).
Position nodePosition(const GridSize& grid, int i, int j, int k);

// The quantity at every node by the sphere method: P by the grid synthesis,
// then phiw and phic as completePosition forms them with the neighbour that
// findNeighbour would find. A node on an atom (phic infinite) holds phiw.
// Nodes are completed in planes of constant x on up to `threads` threads;
// no value depends on their number.
PotentialMap sphereMap(const PositionContext& context, const GridSize& grid, MapQuantity quantity,
                       int threads = 0, const GridProgress& progress = {});

} // namespace telva
