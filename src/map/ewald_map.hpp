// A potential map by the Gaussian (Ewald) method: at every node the Gaussian
// table's grid synthesis plus the real-space sum and the background, to the
// model's tolerance.
#pragma once

#include "electrostatics/ewald_model.hpp"
#include "map/potential_map.hpp"

namespace telva {

// phic or phiw at every node; a node on a charged atom (phic infinite) holds
// phiw, the site's potential, and is counted. Nodes are completed in planes
// of constant x; no value depends on the number of threads.
PotentialMap ewaldMap(const EwaldModel& model, const GridSize& grid, MapQuantity quantity,
                      const GridProgress& progress = {});

// The rest of a map whose values hold the reciprocal half at every node (by
// the table's synthesis or the mesh): the real-space sums, the background
// and the nearest atom's part, plane by plane; progress from n1 to 10 n1 of
// 10 n1 (the reciprocal half's tenth before).
void completeMap(const AtomCells& cells, const EwaldParameters& parameters, double background,
                 int threads, MapQuantity quantity, PotentialMap& map,
                 const GridProgress& progress = {});

} // namespace telva
