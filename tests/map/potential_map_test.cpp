// The map's nodes against position records: the neighbour found through the
// cells is findNeighbour's, and phic, phiw and P at every sampled node are
// what telva's evaluation of a position record there gives, within the
// synthesis bound 1e-12 (2/(pi V)) sum |A| + |B|.
#include "map/potential_map.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "electrostatics/reference/reference_synthesis.hpp"
#include "electrostatics/sphere_form_factor.hpp"
#include "map/neighbour_cells.hpp"
#include "map_test_support.hpp"

namespace telva {
namespace {

using test::MapModel;

struct Case {
  std::string name;
  MapModel model;
  GridSize grid;
};

std::vector<Case> cases() {
  std::vector<Case> all;
  all.push_back({"rocksalt", MapModel(test::exampleCrystal("rocksalt"), 3.0), {10, 10, 10}});
  all.push_back({"wurtzite", MapModel(test::exampleCrystal("wurtzite"), 3.0), {9, 9, 14}});
  all.push_back({"corundum", MapModel(test::exampleCrystal("corundum"), 1.5), {7, 7, 19}});
  all.push_back({"triclinic P1", MapModel(test::triclinicCrystal(0), 2.0), {11, 13, 17}});
  all.push_back({"triclinic P-1", MapModel(test::triclinicCrystal(1), 2.0), {12, 5, 7}});
  // Spheres that overlap: the first image inside R in visiting order wins.
  MapCrystal wide = test::exampleCrystal("rocksalt");
  wide.radius = 2.6;
  all.push_back({"rocksalt, R 2.6", MapModel(wide, 3.0), {8, 8, 8}});
  return all;
}

TEST(NeighbourCells, GiveFindNeighboursAtomAndDistance) {
  std::mt19937 random(7);
  std::uniform_real_distribution<double> unit(0, 1);
  for (const Case& c : cases()) {
    const PositionContext context = c.model.context();
    const NeighbourCells cells = buildNeighbourCells(context);
    std::vector<Position> points;
    for (int n = 0; n < 400; ++n)
      points.push_back({unit(random), unit(random), unit(random)});
    for (int i = 0; i < c.grid.n1; ++i)
      for (int j = 0; j < c.grid.n2; ++j)
        for (int k = 0; k < c.grid.n3; ++k)
          points.push_back(nodePosition(c.grid, i, j, k));
    points.push_back({1, 1, 1});
    points.push_back({-0.5, 2.25, 0.5}); // outside the cell: findNeighbour itself
    for (const Position& p : points) {
      const Neighbour expected = findNeighbour(context, p);
      const Neighbour found = cellNeighbour(cells, context, p);
      ASSERT_EQ(found.inSphere, expected.inSphere)
          << c.name << " at " << p.x << " " << p.y << " " << p.z;
      ASSERT_NEAR(found.distance, expected.distance, 1e-12) << c.name;
      // Another site only where two atoms are equally near.
      if (found.site != expected.site) {
        ASSERT_FALSE(found.inSphere) << c.name;
        EXPECT_NEAR(found.distance, expected.distance, 1e-9) << c.name;
      }
    }
  }
}

TEST(PotentialMap, NodesHoldWhatAPositionRecordThereGives) {
  std::mt19937 random(11);
  for (const Case& c : cases()) {
    const PositionContext context = c.model.context();
    const double bound = 1e-12 * (2 / (pi * c.model.geometry.volume)) * c.model.table.absoluteSum;
    const PotentialMap phic = sphereMap(context, c.grid, MapQuantity::phic);
    const PotentialMap phiw = sphereMap(context, c.grid, MapQuantity::phiw);
    const PotentialMap smeared = sphereMap(context, c.grid, MapQuantity::smeared);
    for (int n = 0; n < 60; ++n) {
      const int i = random() % c.grid.n1, j = random() % c.grid.n2, k = random() % c.grid.n3;
      const std::size_t at = c.grid.index(i, j, k);
      const PositionResult r = referencePosition(context, nodePosition(c.grid, i, j, k));
      EXPECT_NEAR(smeared.values[at], r.smeared, bound) << c.name;
      EXPECT_NEAR(phiw.values[at], r.phiw, bound) << c.name;
      if (std::isfinite(r.phic))
        EXPECT_NEAR(phic.values[at], r.phic, bound) << c.name;
      else
        EXPECT_NEAR(phic.values[at], r.phiw, bound) << c.name << ": a node on an atom holds phiw";
    }
  }
}

TEST(PotentialMap, NodesOnAtomsHoldPhiwAndAreCounted) {
  // Rock salt's eight ions all lie on nodes of a grid of 4 along each edge.
  const MapModel model(test::exampleCrystal("rocksalt"), 3.0);
  const GridSize grid{4, 4, 4};
  const PotentialMap phic = sphereMap(model.context(), grid, MapQuantity::phic);
  const PotentialMap phiw = sphereMap(model.context(), grid, MapQuantity::phiw);
  EXPECT_EQ(phic.nodesOnAtoms, 8u);
  EXPECT_EQ(phiw.nodesOnAtoms, 8u);
  for (int i = 0; i < 4; i += 2)
    for (int j = 0; j < 4; j += 2)
      for (int k = 0; k < 4; k += 2)
        EXPECT_EQ(phic.values[grid.index(i, j, k)], phiw.values[grid.index(i, j, k)]);
  for (double v : phic.values)
    EXPECT_TRUE(std::isfinite(v));
}

TEST(PotentialMap, SameValuesOnEveryThreadCount) {
  const MapModel model(test::triclinicCrystal(0), 2.0);
  const GridSize grid{9, 10, 11};
  const PotentialMap one = sphereMap(model.context(), grid, MapQuantity::phic, 1);
  for (int threads : {2, 5})
    EXPECT_EQ(sphereMap(model.context(), grid, MapQuantity::phic, threads).values, one.values);
}

} // namespace
} // namespace telva
