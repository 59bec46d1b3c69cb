#include "map/potential_map.hpp"

#include <atomic>
#include <cmath>

#include "base/parallel.hpp"
#include "map/neighbour_cells.hpp"

namespace telva {

const char* quantityName(MapQuantity quantity) {
  constexpr const char* names[] = {"phic", "phiw", "smeared"}; // in MapQuantity's order
  return names[static_cast<int>(quantity)];
}

Position nodePosition(const GridSize& grid, int i, int j, int k) {
  return {double(i) / grid.n1, double(j) / grid.n2, double(k) / grid.n3};
}

PotentialMap sphereMap(const PositionContext& context, const GridSize& grid, MapQuantity quantity,
                       int threads, const GridProgress& progress) {
  PotentialMap map;
  map.grid = grid;
  // The synthesis is the first half of the work, the neighbours the second.
  const GridProgress synthesisProgress =
      progress ? GridProgress([&](int done, int total) { progress(done, 2 * total); })
               : GridProgress();
  map.values =
      gridPotentials(context.table, context.geometry.volume, grid, threads, synthesisProgress);
  if (quantity == MapQuantity::smeared || grid.nodes() == 0) return map;
  const NeighbourCells cells = buildNeighbourCells(context);
  std::vector<std::size_t> onAtomCount(grid.n1, 0);
  std::atomic<int> planesDone{0};
  parallelFor(
      grid.n1,
      [&](int i) {
        for (int j = 0; j < grid.n2; ++j)
          for (int k = 0; k < grid.n3; ++k) {
            double& value = map.values[grid.index(i, j, k)];
            const Position point = nodePosition(grid, i, j, k);
            const PositionResult r =
                completePosition(context, point, value, cellNeighbour(cells, context, point));
            const bool onAtom = r.neighbour.site >= 0 && r.neighbour.inSphere &&
                                r.neighbour.distance < coincidenceDistance;
            if (onAtom) ++onAtomCount[i];
            // phic is infinite on a charged atom: the node holds phiw there.
            value = quantity == MapQuantity::phiw || (!std::isfinite(r.phic) && onAtom) ? r.phiw
                                                                                        : r.phic;
          }
        const int done = ++planesDone;
        if (progress) progress(grid.n1 + done, 2 * grid.n1);
      },
      threads);
  for (std::size_t count : onAtomCount)
    map.nodesOnAtoms += count;
  return map;
}

} // namespace telva
