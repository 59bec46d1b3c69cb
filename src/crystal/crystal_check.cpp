#include "crystal/crystal_check.hpp"

#include <cmath>

#include "crystal/cell_geometry.hpp"

namespace telva {

std::string crystalDefect(const std::array<double, 6>& lattice, std::span<const SymOp> symOps,
                          std::span<const Site> sites) {
  if (!describesCell(lattice)) return "lattice parameters describe no cell";
  // A number too large for a double (1E99999) is read as infinite; every
  // result it enters would be infinite or NaN.
  for (const SymOp& op : symOps)
    for (const SymOpRow& row : op.rows)
      if (!std::isfinite(row.translation))
        return "translation of a symmetry operation must be a finite number";
  for (const Site& site : sites) {
    if (!std::isfinite(site.charge)) return "charge of an atom must be a finite number";
    if (!std::isfinite(site.W)) return "W of an atom must be a finite number";
    if (!std::isfinite(site.x) || !std::isfinite(site.y) || !std::isfinite(site.z))
      return "coordinates of an atom must be finite numbers";
  }
  return "";
}

} // namespace telva
