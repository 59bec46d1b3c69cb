#include "map/pme_map.hpp"

#include "map/ewald_map.hpp"

namespace telva {

PotentialMap pmeMap(const PmeModel& model, const GridSize& grid, MapQuantity quantity,
                    const GridProgress& progress) {
  PotentialMap map;
  map.grid = grid;
  std::vector<Position> nodes;
  nodes.reserve(std::size_t(grid.n1) * grid.n2 * grid.n3);
  for (int i = 0; i < grid.n1; ++i)
    for (int j = 0; j < grid.n2; ++j)
      for (int k = 0; k < grid.n3; ++k)
        nodes.push_back(nodePosition(grid, i, j, k));
  map.values = pmeReciprocal(model, nodes);
  nodes = {};
  if (progress) progress(grid.n1, 10 * grid.n1);
  completeMap(model.cells, model.parameters, model.background, model.threads, quantity, map,
              progress);
  return map;
}

} // namespace telva
