// A site's atoms in the cell and the closest pair of charged atoms: the
// multiplicities of known Wyckoff positions, and pair distances worked out
// by hand.
#include "crystal/site_images.hpp"

#include <gtest/gtest.h>

#include <cmath>

#include "electrostatics/test_structure.hpp"

namespace telva {
namespace {

using test::op;

// P4/m as its four proper operations and the inversion flag: x,y,z; -y,x,z;
// -x,-y,z; y,-x,z and their companions.
Crystal tetragonal(std::vector<Site> sites) {
  Crystal c;
  c.lattice = {4, 4, 3, 90, 90, 90};
  c.symOps = {op(0, 1, 0, 0, 2, 0, 0, 3, 0), op(0, -2, 0, 0, 1, 0, 0, 3, 0),
              op(0, -1, 0, 0, -2, 0, 0, 3, 0), op(0, 2, 0, 0, -1, 0, 0, 3, 0)};
  c.inversionAtOrigin = true;
  c.sites = std::move(sites);
  return c;
}

TEST(SiteImages, CountTheMultiplicityOfEachWyckoffPosition) {
  struct Case {
    Position p;
    std::size_t multiplicity;
  };
  const Case cases[] = {
      {{0, 0, 0}, 1},           {{0.5, 0.5, 0.5}, 1}, {{0, 0.5, 0}, 2},
      {{0.3, 0.3, 0}, 4},       {{0.3, 0, 0}, 4},     {{0.1, 0.2, 0.3}, 8},
      {{0, 0, 0.25}, 2},        {{1.0, -0.0, 0}, 1}, // on the cell's edge
      {{0.2999999, 0.3, 0}, 4},                      // a published coordinate's rounding
  };
  for (const Case& k : cases) {
    const Crystal c = tetragonal({{"A", 1, 1, k.p.x, k.p.y, k.p.z}});
    const CellGeometry cell = buildCellGeometry(c.lattice, 0);
    const std::vector<Position> images = siteImages(c, cell, 0, 0.02);
    EXPECT_EQ(images.size(), k.multiplicity) << k.p.x << " " << k.p.y << " " << k.p.z;
    for (const Position& q : images) {
      EXPECT_GE(q.x, 0);
      EXPECT_LT(q.x, 1);
    }
  }
}

TEST(ClosestChargedPair, SkipsUnchargedSitesAndAtomsAtOnePosition) {
  struct Case {
    const char* name;
    std::vector<Site> sites;
    double distance;
  };
  const Case cases[] = {
      // Rock-salt-like square net: a cation at the origin, an anion at (1/2, 0, 0).
      {"cation and anion", {{"Na", 1, 1, 0, 0, 0}, {"Cl", -1, 1, 0.5, 0, 0}}, 2.0},
      // Like charges count too.
      {"two cations", {{"Na", 1, 1, 0, 0, 0}, {"K", 1, 1, 0.5, 0.5, 0}}, std::sqrt(8.0)},
      // Images of one site at other positions are pairs: (0.3, 0, 0) and its
      // inverse (0.7, 0, 0) are 0.4 a = 1.6 A apart across the cell's face,
      // nearer than (0, 0.3, 0) at 1.2 sqrt 2 A.
      {"images of one site", {{"Na", 1, 1, 0.3, 0, 0}}, 1.6},
      // An uncharged atom nearer than any charged one is no partner.
      {"uncharged neighbour",
       {{"Na", 1, 1, 0, 0, 0}, {"X", 0, 1, 0.1, 0, 0}, {"Cl", -1, 1, 0.5, 0, 0}},
       2.0},
      // Two species at one position (a mixed site) are not a pair.
      {"mixed site",
       {{"Mg", 2, 0.5, 0, 0, 0}, {"Fe", 2, 0.5, 0, 0, 0}, {"O", -2, 1, 0.5, 0, 0}},
       2.0},
  };
  for (const Case& k : cases) {
    const ClosestPair pair = closestChargedPair(tetragonal(k.sites), 0.02);
    EXPECT_NEAR(pair.distance, k.distance, 1e-12) << k.name;
  }
  // No pair: nothing charged, or one atom whose only copies are its lattice
  // translations (one position).
  for (const Site& lone : {Site{"X", 0, 1, 0, 0, 0}, Site{"Na", 1, 1, 0, 0, 0}}) {
    const ClosestPair none = closestChargedPair(tetragonal({lone}), 0.02);
    EXPECT_TRUE(std::isinf(none.distance)) << lone.label;
    EXPECT_EQ(none.first, -1) << lone.label;
  }
}

} // namespace
} // namespace telva
