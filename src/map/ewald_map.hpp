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

} // namespace telva
