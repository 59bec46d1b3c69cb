// Crystals for the map tests: the repository's examples and hand-made cells,
// with their tables and the context a position record is evaluated in.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "crystal/cell_geometry.hpp"
#include "electrostatics/positions.hpp"
#include "electrostatics/table_build.hpp"
#include "listing/input_file.hpp"
#include "map/map_crystal.hpp"
#include "map/map_input.hpp"

namespace telva::test {

inline SymOp op(double tx, int x1, int x2, double ty, int y1, int y2, double tz, int z1, int z2) {
  return {{{{tx, x1, x2}, {ty, y1, y2}, {tz, z1, z2}}}};
}

inline std::string examplePath(const std::string& name) {
  return std::string(TELVA_SOURCE_DIR) + "/examples/" + name;
}

// A crystal with its geometry and table, at a range of its own.
struct MapModel {
  MapCrystal crystal;
  CellGeometry geometry;
  CoefficientTable table;

  MapModel(MapCrystal c, double range) : crystal(std::move(c)) {
    crystal.range = range;
    const Crystal& k = crystal.crystal;
    geometry = buildCellGeometry(k.lattice, crystal.range);
    table = buildCoefficientTable(
        {geometry, crystal.radius, crystal.range, k.inversionAtOrigin, k.symOps, k.sites});
  }
  PositionContext context() const {
    const Crystal& k = crystal.crystal;
    return {table, geometry, crystal.radius, k.inversionAtOrigin, k.symOps, k.sites};
  }
};

inline MapCrystal exampleCrystal(const std::string& name) {
  return readInputFileCrystal(examplePath(name + ".inp"));
}

// A P1 (or, with the flag, P-1) cell of four ions at general positions, one
// of them given far outside the cell.
inline MapCrystal triclinicCrystal(int inversion) {
  MapCrystal c;
  c.title = "triclinic";
  c.radius = 0.8;
  c.range = 2.0;
  c.crystal.lattice = {5.1, 6.3, 7.2, 77.0, 101.0, 65.0};
  c.crystal.symOps = {op(0, 1, 0, 0, 2, 0, 0, 3, 0)};
  c.crystal.inversionAtOrigin = inversion != 0;
  c.crystal.sites = {{"Mg1     ", 2, 1, 0.11, 0.23, 0.37},
                     {"O1      ", -2, 1, 0.61, 0.19, 0.83},
                     {"Na1     ", 1, 1, 0.31, 0.71, 0.52},
                     {"Cl1     ", -1, 1, 2.87, 0.44, -0.91}};
  c.elements = {"Mg", "O", "Na", "Cl"};
  return c;
}

} // namespace telva::test
