// The lowest and highest value of a map, away from the atoms: phic grows
// without bound towards a point charge, so the extremes of every node would
// only tell which node happens to lie nearest an ion. The report gives the
// extremes of the landscape between the ions instead, where a mobile ion or a
// vacancy sits.
#pragma once

#include <cstddef>
#include <span>

#include "crystal/crystal.hpp"
#include "electrostatics/grid_synthesis.hpp"

namespace telva {

// Nodes nearer than this to the centre of any atom (Angstrom) are left out of
// the reported minimum and maximum: half of the shortest cation-anion
// distances of oxides (1.8 to 2.1 A) is about 1 A, so 0.5 A leaves out the
// cusp at each ion and keeps every interstitial site.
inline constexpr double extremeAtomDistance = 0.5;

struct MapExtremes {
  double lowest = 0, highest = 0;
  std::size_t lowestNode = 0, highestNode = 0; // as GridSize::index orders them
  std::size_t nodesLeftOut = 0;                // within the distance of an atom
  bool allNearAtoms = false;                   // every node is that near: the extremes are of all
};

// The extremes of `values` (one per node of `grid`) over the nodes farther
// than `distance` from every atom of the crystal (any charge, zero included);
// of all nodes when none is that far. Ties keep the first node.
MapExtremes mapExtremes(const Crystal& crystal, const GridSize& grid,
                        std::span<const double> values, double distance = extremeAtomDistance);

} // namespace telva
