#include "map/map_extremes.hpp"

#include "crystal/atom_cells.hpp"

namespace telva {

MapExtremes mapExtremes(const Crystal& crystal, const GridSize& grid,
                        std::span<const double> values, double distance) {
  const AtomCells cells = buildAtomCells(crystal, distance);
  MapExtremes e;
  bool found = false;
  for (int pass = 0; pass < 2 && !found; ++pass) {
    // The second pass, taken only when every node lies near an atom, takes all.
    const bool keepAll = pass == 1;
    e.nodesLeftOut = 0;
    for (int i = 0; i < grid.n1; ++i)
      for (int j = 0; j < grid.n2; ++j)
        for (int k = 0; k < grid.n3; ++k) {
          const std::size_t n = grid.index(i, j, k);
          if (!keepAll) {
            const Position node{double(i) / grid.n1, double(j) / grid.n2, double(k) / grid.n3};
            bool near = false;
            forEachAtomWithin(
                cells, cartesianPoint(cells, node), distance,
                [&](const AtomImage&, double d2) { near |= d2 < distance * distance; });
            if (near) {
              ++e.nodesLeftOut;
              continue;
            }
          }
          const double v = values[n];
          if (!found || v < e.lowest) e.lowest = v, e.lowestNode = n;
          if (!found || v > e.highest) e.highest = v, e.highestNode = n;
          found = true;
        }
    e.allNearAtoms = keepAll;
  }
  if (e.allNearAtoms) e.nodesLeftOut = 0;
  return e;
}

} // namespace telva
