// The Gaussian method's map: every node holds what the core's ewald points
// give there (phic, or phiw on an atom; phiw), and agrees with the
// independent reference sum within the tolerance.
#include "map/ewald_map.hpp"

#include <gtest/gtest.h>

#include <cmath>

#include "crystal/atom_cells.hpp"
#include "electrostatics/ewald_points.hpp"
#include "electrostatics/ewald_reference_crystal.hpp"
#include "electrostatics/sphere_form_factor.hpp"
#include "map_test_support.hpp"

namespace telva {
namespace {

struct Case {
  std::string name;
  Crystal crystal;
  GridSize grid;
};

std::vector<Case> cases() {
  Crystal charged = test::triclinicCrystal(0).crystal;
  charged.sites[0].charge = 3; // a cell of net charge +1
  return {
      {"rocksalt", test::exampleCrystal("rocksalt").crystal, {4, 4, 4}}, // ions on nodes
      {"wurtzite", test::exampleCrystal("wurtzite").crystal, {7, 7, 11}},
      {"triclinic P-1", test::triclinicCrystal(1).crystal, {6, 5, 7}},
      {"charged triclinic", charged, {5, 6, 4}},
  };
}

TEST(EwaldMap, NodesHoldWhatTheCoresEwaldPointsGive) {
  for (const Case& c : cases()) {
    const EwaldModel model = prepareEwald(c.crystal, 1e-8);
    std::vector<Position> nodes;
    for (int i = 0; i < c.grid.n1; ++i)
      for (int j = 0; j < c.grid.n2; ++j)
        for (int k = 0; k < c.grid.n3; ++k)
          nodes.push_back(nodePosition(c.grid, i, j, k));
    const EwaldPoints points = ewaldPoints(model, nodes);
    const PotentialMap phic = ewaldMap(model, c.grid, MapQuantity::phic);
    const PotentialMap phiw = ewaldMap(model, c.grid, MapQuantity::phiw);
    std::size_t onAtoms = 0;
    for (std::size_t n = 0; n < nodes.size(); ++n) {
      const EwaldPoint& p = points.points[n];
      EXPECT_NEAR(phiw.values[n], p.phiw, 1e-11) << c.name << " node " << n;
      if (std::isfinite(p.phic)) {
        EXPECT_NEAR(phic.values[n], p.phic, 1e-11) << c.name << " node " << n;
      } else {
        ++onAtoms;
        EXPECT_NEAR(phic.values[n], p.phiw, 1e-11) << c.name << ": on an atom, phiw";
      }
    }
    EXPECT_EQ(phic.nodesOnAtoms, onAtoms) << c.name;
  }
  // Rock salt's eight ions lie on the nodes of a grid of 4.
  EXPECT_EQ(
      ewaldMap(prepareEwald(cases()[0].crystal, 1e-8), {4, 4, 4}, MapQuantity::phic).nodesOnAtoms,
      8u);
}

TEST(EwaldMap, AgreesWithTheIndependentReferenceWithinTheTolerance) {
  // Neutral cells with exact weights, as the reference requires.
  for (const Case& c : {cases()[0], cases()[1]}) {
    const test::Reference ref = test::referenceOf(c.crystal);
    const GridSize grid{5, 6, 7}; // no node on an atom
    for (double tolerance : {1e-6, 1e-8}) {
      const PotentialMap map =
          ewaldMap(prepareEwald(c.crystal, tolerance), grid, MapQuantity::phic);
      for (int n = 1; n < int(grid.nodes()); n += 23) {
        const int k = n % grid.n3, j = n / grid.n3 % grid.n2, i = n / grid.n3 / grid.n2;
        const Position p = nodePosition(grid, i, j, k);
        EXPECT_NEAR(map.values[n], test::ewaldPotential(ref.cell, ref.charges, p.x, p.y, p.z),
                    tolerance)
            << c.name << " node " << n;
      }
    }
  }
}

TEST(EwaldMap, SameValuesOnEveryThreadCount) {
  const Crystal crystal = test::exampleCrystal("wurtzite").crystal;
  const GridSize grid{6, 6, 9};
  const PotentialMap one = ewaldMap(prepareEwald(crystal, 1e-8, 1), grid, MapQuantity::phic);
  EXPECT_EQ(ewaldMap(prepareEwald(crystal, 1e-8, 2), grid, MapQuantity::phic).values, one.values);
}

} // namespace
} // namespace telva
