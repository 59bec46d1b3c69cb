// A crystal of the core as the independent Ewald reference takes it: the
// cell's edges and angles, and every atom of the cell as a point charge.
#pragma once

#include <cmath>
#include <vector>

#include "base/numbers.hpp"
#include "crystal/atom_cells.hpp"
#include "crystal/cell_geometry.hpp"
#include "crystal/crystal.hpp"
#include "electrostatics/ewald_reference.hpp"

namespace telva::test {

// Every atom of the cell as the reference takes it.
struct Reference {
  test::EwaldCell cell;
  std::vector<test::PointCharge> charges;
  std::vector<int> siteAtom; // for each site, the index of its atom in charges
};

inline Reference referenceOf(const Crystal& crystal) {
  const CellGeometry g = buildCellGeometry(crystal.lattice, 0.0);
  const double degree = 180 / telva::pi;
  Reference ref;
  ref.cell = {g.a,
              g.b,
              g.c,
              std::acos(g.cosAlpha) * degree,
              std::acos(g.cosBeta) * degree,
              std::acos(g.cosGamma) * degree};
  const CellFrame frame = cellFrame(g);
  const std::vector<AtomImage> atoms = cellAtoms(crystal, frame);
  ref.siteAtom.assign(crystal.sites.size(), -1);
  for (const AtomImage& atom : atoms) {
    const Position f = toFractional(frame, atom.r);
    const Site& s = crystal.sites[atom.site];
    const double dx = f.x - s.x, dy = f.y - s.y, dz = f.z - s.z;
    if (ref.siteAtom[atom.site] < 0 && std::fabs(dx - std::round(dx)) < 1e-6 &&
        std::fabs(dy - std::round(dy)) < 1e-6 && std::fabs(dz - std::round(dz)) < 1e-6)
      ref.siteAtom[atom.site] = int(ref.charges.size());
    ref.charges.push_back({atom.charge, f.x, f.y, f.z});
  }
  return ref;
}

} // namespace telva::test
