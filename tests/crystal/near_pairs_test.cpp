// The closest charged pair through the cell list against the search over all
// pairs it replaced: the same distance bit for bit and the same two sites, on
// the examples, the benchmark crystals and random cells built to hit the
// list's edges (coordinates 0 and 1, coincident and nearly coincident atoms,
// special positions, oblique cells, a lone atom, sparse and elongated cells).
#include "crystal/near_pairs.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <limits>
#include <random>
#include <string>

#include "../crystal_file.hpp"
#include "crystal/site_images.hpp"
#include "electrostatics/test_structure.hpp"

namespace telva {
namespace {

using test::op;

// The search over all pairs, as the crystal layer made it before the cells.
ClosestPair allPairs(const Crystal& crystal, double tolerance) {
  const CellGeometry cell = buildCellGeometry(crystal.lattice, 0);
  const int n = static_cast<int>(crystal.sites.size());
  std::vector<std::vector<Position>> images(n);
  for (int i = 0; i < n; ++i)
    if (crystal.sites[i].charge != 0) images[i] = siteImages(crystal, cell, i, tolerance);
  ClosestPair best{std::numeric_limits<double>::infinity(), -1, -1};
  for (int i = 0; i < n; ++i) {
    if (images[i].empty()) continue;
    for (int j = 0; j < n; ++j)
      for (const Position& q : images[j]) {
        const double d = nearestImageDistance(cell, images[i][0], q);
        if (d >= tolerance && d < best.distance) best = {d, i, j};
      }
  }
  return best;
}

void expectSame(const Crystal& c, const std::string& name) {
  for (double tolerance : {0.02, 1e-9}) {
    const ClosestPair want = allPairs(c, tolerance), got = closestChargedPair(c, tolerance);
    // Bit for bit: the default sphere radius is 0.45 times this, rounded down.
    EXPECT_EQ(got.distance, want.distance) << name;
    EXPECT_EQ(got.first, want.first) << name;
    EXPECT_EQ(got.second, want.second) << name;
  }
}

TEST(NearPairs, ClosestChargedPairOfTheExamplesAndBenchmarkCrystals) {
  int files = 0;
  for (const char* folder : {"examples", "bench/crystals"})
    for (const auto& entry :
         std::filesystem::directory_iterator(std::string(TELVA_SOURCE_DIR) + "/" + folder))
      if (entry.path().extension() == ".inp") {
        expectSame(test::readCrystalInput(entry.path().string()).crystal, entry.path().string());
        ++files;
      }
  EXPECT_GE(files, 20);
}

Crystal p1(std::array<double, 6> lattice) {
  Crystal c;
  c.lattice = lattice;
  c.symOps = {op(0, 1, 0, 0, 2, 0, 0, 3, 0)};
  return c;
}

TEST(NearPairs, ClosestChargedPairOfRandomCells) {
  std::mt19937 rng(7);
  std::uniform_real_distribution<double> unit(0, 1);
  const std::array<double, 6> lattices[] = {
      {10, 10, 10, 90, 90, 90}, {7, 9, 13, 90, 90, 90}, {8, 8, 11, 90, 90, 120},
      {6, 7, 8, 63, 71, 107},   {5, 5, 40, 90, 90, 90}, {9, 11, 7, 100, 115, 80},
      {30, 30, 30, 90, 90, 90}, // sparse: few atoms in a large cell
  };
  // Coordinates drawn from the cell's faces, corners and edges as often as
  // from its inside: 0 and 1 are the same plane seen from two sides.
  const double faces[] = {0.0, 1.0, -0.0, 0.5, 1.0 - 1e-12, 1e-12, 0.25};
  auto coordinate = [&] {
    return unit(rng) < 0.3 ? faces[std::size_t(unit(rng) * 7) % 7] : unit(rng);
  };
  for (const auto& lattice : lattices)
    for (int atoms : {1, 2, 3, 17, 60, 400}) {
      Crystal c = p1(lattice);
      for (int k = 0; k < atoms; ++k) {
        const double charge = unit(rng) < 0.2 ? 0.0 : (unit(rng) < 0.5 ? 1.0 : -2.0);
        c.sites.push_back({"A", charge, 1, coordinate(), coordinate(), coordinate()});
        // An atom on another one, one a hair away, and one just past the
        // coincidence tolerance.
        if (k % 23 == 5) {
          Site s = c.sites.back();
          s.x += 1.0;
          c.sites.push_back(s);
          s.y += 1e-4;
          c.sites.push_back(s);
          s.z += 0.0201 / lattice[2];
          c.sites.push_back(s);
        }
      }
      expectSame(c, "lattice " + std::to_string(lattice[0]) + " atoms " + std::to_string(atoms));
    }
}

TEST(NearPairs, ClosestChargedPairOnSpecialPositionsOfACubicGroup) {
  // Pm-3m's 24 proper operations of the cube's rotations, with the inversion:
  // sites on the corners, the faces, the edges and on general positions.
  Crystal c = p1({4.1, 4.1, 4.1, 90, 90, 90});
  c.symOps.clear();
  const int perms[6][3] = {{1, 2, 3}, {2, 3, 1}, {3, 1, 2}, {2, 1, 3}, {1, 3, 2}, {3, 2, 1}};
  for (const auto& perm : perms)
    for (int signs = 0; signs < 8; ++signs) {
      const int sx = signs & 1 ? -1 : 1, sy = signs & 2 ? -1 : 1, sz = signs & 4 ? -1 : 1;
      // Proper rotations only: the parity of the permutation times the signs.
      const bool even = &perm - perms < 3;
      if ((sx * sy * sz > 0) != even) continue;
      c.symOps.push_back(op(0, sx * perm[0], 0, 0, sy * perm[1], 0, 0, sz * perm[2], 0));
    }
  c.inversionAtOrigin = true;
  c.sites = {{"Cs", 1, 1, 0, 0, 0},          {"Cl", -1, 1, 0.5, 0.5, 0.5},
             {"O", -2, 1, 0.5, 0, 0},        {"F", -1, 1, 0.5, 0.5, 0},
             {"X", 0, 1, 0.1, 0.1, 0.1},     {"Li", 1, 1, 0.2, 0.3, 0.1},
             {"Na", 1, 1, 0.25, 0.25, 0.25}, {"K", 1, 1, 1.0, 0.5, 0.0}};
  ASSERT_EQ(c.symOps.size(), 24u);
  expectSame(c, "Pm-3m");
  const std::vector<int> m = siteMultiplicities(c, 0.02);
  EXPECT_EQ(m, (std::vector<int>{1, 1, 3, 3, 8, 48, 8, 3}));
}

TEST(NearPairs, VisitsEveryPointWithinTheRadiusOnce) {
  // The cells against every point measured, for radii from below the
  // spacing to beyond the cell, in an oblique cell.
  const CellGeometry cell = buildCellGeometry({6, 7, 8, 63, 71, 107}, 0);
  std::mt19937 rng(3);
  std::uniform_real_distribution<double> u(-1, 2);
  std::vector<Position> points(300);
  for (Position& p : points)
    p = {u(rng), u(rng), u(rng)};
  for (double reach : {0.5, 1.7, 4.0, 12.0}) {
    const NearCells cells = buildNearCells(cell, points, reach);
    for (int k = 0; k < 30; ++k) {
      const Position& p = points[k];
      double radius = reach;
      std::vector<int> seen(points.size(), 0);
      forEachPointNear(cells, cell, p, radius, [&](std::int32_t j, double d) {
        ++seen[j];
        EXPECT_EQ(d, nearestImageDistance(cell, p, points[j]));
      });
      for (std::size_t j = 0; j < points.size(); ++j)
        EXPECT_EQ(seen[j], nearestImageDistance(cell, p, points[j]) <= reach ? 1 : 0)
            << reach << " " << k << " " << j;
    }
  }
}

} // namespace
} // namespace telva
