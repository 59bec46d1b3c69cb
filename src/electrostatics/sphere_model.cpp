#include "electrostatics/sphere_model.hpp"

#include <cmath>

#include "base/fault.hpp"
#include "crystal/crystal_check.hpp"
#include "electrostatics/memory_check.hpp"
#include "electrostatics/table_build.hpp"

namespace telva {

SphereModel prepareSphere(const Crystal& crystal, double radius, double range, int threads,
                          std::int64_t memoryLimit) {
  if (!std::isfinite(radius) || !(radius > 0))
    throw Fault{faults::invalidValue, "radius of an ionic sphere must be a positive number"};
  if (!std::isfinite(range) || range < 0)
    throw Fault{faults::invalidValue,
                "reciprocal-space range must be a finite number, zero or more"};
  if (const std::string defect = crystalDefect(crystal); !defect.empty())
    throw Fault{faults::invalidValue, defect};
  SphereModel model;
  model.crystal = &crystal;
  model.radius = radius;
  model.range = range;
  model.geometry = buildCellGeometry(crystal.lattice, range);
  checkMemory(tableBytes(model.geometry.requiredEntries, crystal.inversionAtOrigin), memoryLimit,
              "the coefficient table of " + std::to_string(model.geometry.requiredEntries) +
                  " entries");
  model.table =
      buildCoefficientTable({model.geometry, radius, range, crystal.inversionAtOrigin ? 1 : 0,
                             crystal.symOps, crystal.sites, threads});
  return model;
}

PositionContext positionContext(const SphereModel& model) {
  return {model.table,           model.geometry,
          model.radius,          model.crystal->inversionAtOrigin ? 1 : 0,
          model.crystal->symOps, model.crystal->sites};
}

} // namespace telva
