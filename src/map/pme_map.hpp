// A potential map by the mesh method: at every node the mesh's reciprocal
// potential interpolated with the method's splines, plus the real-space sum
// and the background, to the model's tolerance (as ewaldMap).
#pragma once

#include "electrostatics/pme_model.hpp"
#include "map/potential_map.hpp"

namespace telva {

PotentialMap pmeMap(const PmeModel& model, const GridSize& grid, MapQuantity quantity,
                    const GridProgress& progress = {});

} // namespace telva
