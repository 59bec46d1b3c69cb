#include "map/ewald_map.hpp"

#include <cmath>
#include <limits>

#include "electrostatics/ewald_points.hpp"
#include "electrostatics/sphere_form_factor.hpp"

namespace telva {

PotentialMap ewaldMap(const EwaldModel& model, const GridSize& grid, MapQuantity quantity,
                      const GridProgress& progress) {
  PotentialMap map;
  map.grid = grid;
  // The synthesis is about a tenth of the work, the real-space sums the rest.
  const GridProgress half =
      progress ? GridProgress([&](int done, int total) { progress(done, 10 * total); })
               : GridProgress();
  map.values = gridPotentials(model.table, model.geometry.volume, grid, model.threads, half);
  completeMap(model.cells, model.parameters, model.background, model.threads, quantity, map,
              progress);
  return map;
}

void completeMap(const AtomCells& cells, const EwaldParameters& parameters, double background,
                 int threads, MapQuantity quantity, PotentialMap& map,
                 const GridProgress& progress) {
  const GridSize& grid = map.grid;
  const double selfFactor = 2.0 * parameters.alpha / std::sqrt(pi);
  std::vector<Position> plane(std::size_t(grid.n2) * grid.n3);
  for (int i = 0; i < grid.n1; ++i) {
    for (int j = 0; j < grid.n2; ++j)
      for (int k = 0; k < grid.n3; ++k)
        plane[std::size_t(j) * grid.n3 + k] = nodePosition(grid, i, j, k);
    // The real-space sums of one plane, on the model's threads.
    const std::vector<RealSpaceSum> real =
        realSpaceWithBackground(cells, parameters, background, plane, threads);
    for (std::size_t n = 0; n < plane.size(); ++n) {
      double& value = map.values[std::size_t(i) * plane.size() + n];
      const double phi = value + real[n].potential;
      std::optional<AtomHit> nearest;
      if (real[n].nearestSite >= 0)
        nearest = AtomHit{real[n].nearestSite, real[n].nearestDistance, real[n].nearestCharge};
      else if (quantity == MapQuantity::phiw)
        nearest = nearestAtom(cells, cartesianPoint(cells, plane[n]));
      if (!nearest) {
        value = phi;
      } else if (nearest->distance < coincidenceDistance) {
        // On the atom: phiw is the site's potential; phic would be infinite.
        value = phi - selfFactor * real[n].coincidentCharge;
        if (quantity == MapQuantity::phic && real[n].coincidentCharge != 0) ++map.nodesOnAtoms;
      } else {
        value = quantity == MapQuantity::phic ? phi : phi - nearest->charge / nearest->distance;
      }
    }
    if (progress) progress(grid.n1 + 9 * (i + 1), 10 * grid.n1);
  }
}

} // namespace telva
