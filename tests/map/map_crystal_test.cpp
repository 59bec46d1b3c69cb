// The atoms a map file lists: through bins, the same atoms in the same order
// as the comparison of every atom with every atom kept before it, on cells
// with special positions, atoms on the faces and atoms a hair apart.
#include "map/map_crystal.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "electrostatics/test_structure.hpp"

namespace telva {
namespace {

using test::op;

std::vector<CellAtom> atomsByAllPairs(const MapCrystal& map, const CellGeometry& g) {
  std::vector<CellAtom> atoms;
  auto reduced = [](double v) {
    const double r = v - std::floor(v);
    return r >= 1 ? 0 : r;
  };
  for (std::size_t j = 0; j < map.crystal.sites.size(); ++j) {
    const Site& s = map.crystal.sites[j];
    auto add = [&](Position p) {
      const CellAtom atom{s.label, "", s.charge, reduced(p.x), reduced(p.y), reduced(p.z)};
      for (const CellAtom& other : atoms) {
        const double dx = atom.x - other.x, dy = atom.y - other.y, dz = atom.z - other.z;
        if (directDistance(g, dx - std::round(dx), dy - std::round(dy), dz - std::round(dz)) <
            sameAtomDistance)
          return;
      }
      atoms.push_back(atom);
    };
    for (const SymOp& o : map.crystal.symOps) {
      const Position image = applyToPosition(o, s.x, s.y, s.z);
      add(image);
      if (map.crystal.inversionAtOrigin) add({-image.x, -image.y, -image.z});
    }
  }
  return atoms;
}

TEST(MapCrystal, CellAtomsAsTheComparisonOfEveryPair) {
  std::mt19937 rng(5);
  std::uniform_real_distribution<double> unit(0, 1);
  const double special[] = {0.0, 1.0, 0.5, 0.25, -0.0};
  for (bool symmetric : {false, true})
    for (const std::array<double, 6>& lattice : {std::array<double, 6>{9, 9, 9, 90, 90, 90},
                                                 std::array<double, 6>{6, 7, 8, 70, 80, 100}}) {
      MapCrystal map;
      map.crystal.lattice = lattice;
      map.crystal.symOps = {op(0, 1, 0, 0, 2, 0, 0, 3, 0)};
      if (symmetric) {
        map.crystal.symOps.push_back(op(0, -1, 0, 0, -2, 0, 0, 3, 0));
        map.crystal.inversionAtOrigin = true;
      }
      for (int k = 0; k < 300; ++k) {
        auto u = [&] { return unit(rng) < 0.3 ? special[int(unit(rng) * 5) % 5] : unit(rng); };
        Site s{std::string("A").append(std::to_string(k)), 1, 1, u(), u(), u()};
        map.crystal.sites.push_back(s);
        if (k % 17 == 0) { // a hair away, and just past the merging distance
          s.x += 0.005 / lattice[0];
          map.crystal.sites.push_back(s);
          s.y += 0.03 / lattice[1];
          map.crystal.sites.push_back(s);
        }
      }
      const CellGeometry g = buildCellGeometry(lattice, 0);
      const std::vector<CellAtom> want = atomsByAllPairs(map, g), got = cellAtoms(map, g);
      ASSERT_EQ(got.size(), want.size());
      for (std::size_t i = 0; i < got.size(); ++i) {
        EXPECT_EQ(got[i].label, want[i].label);
        EXPECT_EQ(got[i].x, want[i].x);
        EXPECT_EQ(got[i].y, want[i].y);
        EXPECT_EQ(got[i].z, want[i].z);
      }
    }
}

} // namespace
} // namespace telva
