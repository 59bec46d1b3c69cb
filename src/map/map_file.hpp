// What every map file holds: the cell, its atoms, the grid and the values in
// the unit asked for, and the words that name them.
#pragma once

#include <span>
#include <string>
#include <vector>

#include "crystal/cell_geometry.hpp"
#include "electrostatics/grid_synthesis.hpp"
#include "map/map_crystal.hpp"

namespace telva {

struct MapFile {
  std::string title;       // the crystal
  std::string description; // the quantity and the unit, e.g. "phic in V"
  CellGeometry geometry;
  CellAxes axes;
  std::vector<CellAtom> atoms;
  GridSize grid;
  std::span<const double> values; // in the unit, stored as GridSize::index orders them
};

// Bohr radius in Angstrom (CODATA 2018).
inline constexpr double bohrInAngstrom = 0.529177210903;

} // namespace telva
