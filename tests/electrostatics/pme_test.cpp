// The mesh method against the direct Gaussian method: every site and random
// points within the tolerance, the same bits for every thread count, and its
// refusals; the B-splines and mesh sizes it rests on.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "base/fault.hpp"
#include "crystal_file.hpp"
#include "electrostatics/cardinal_bspline.hpp"
#include "electrostatics/ewald_model.hpp"
#include "electrostatics/pme_model.hpp"
#include "electrostatics/pme_parameters.hpp"
#include "electrostatics/random_cell.hpp"

namespace telva {
namespace {

std::string sourcePath(const std::string& relative) {
  return std::string(TELVA_SOURCE_DIR) + "/" + relative;
}

// W to eight decimals in the files; the exact fraction keeps cells neutral.
Crystal withExactWeights(Crystal c) {
  const double n = double(c.symOps.size()) * (c.inversionAtOrigin ? 2 : 1);
  for (Site& s : c.sites)
    s.W = std::round(s.W * n) / n;
  return c;
}

struct MeshCase {
  std::string name;
  Crystal crystal;
  std::vector<double> tolerances;
};

test::RandomCellShape shape(int perEdge, bool oblique, bool charged, unsigned seed) {
  test::RandomCellShape s;
  s.perEdge = perEdge;
  s.oblique = oblique;
  s.charged = charged;
  s.seed = seed;
  return s;
}

std::vector<MeshCase> meshCases() {
  const std::vector<double> all = {1e-4, 1e-5, 1e-6, 1e-7, 1e-8};
  std::vector<MeshCase> cases;
  for (const char* name : {"rocksalt", "corundum", "rutile", "wurtzite", "fluorite"})
    cases.push_back(
        {std::string("examples/") + name,
         withExactWeights(test::readCrystalFile(sourcePath("examples/") + name + ".inp")), all});
  for (const char* name :
       {"al2o3", "caf2", "cscl", "mg2sio4", "nacl", "spinel", "srtio3", "tio2", "zno", "zns"})
    cases.push_back(
        {std::string("bench/") + name,
         withExactWeights(test::readCrystalFile(sourcePath("bench/crystals/") + name + ".inp")),
         all});
  cases.push_back({"random 1000 cubic", test::randomCell(shape(10, false, false, 1)), all});
  cases.push_back({"random 1000 oblique charged", test::randomCell(shape(10, true, true, 2)), all});
  // 10^4 ions: the direct reference at 1e-9 costs seconds, so one tolerance.
  cases.push_back(
      {"random 10648 oblique charged", test::randomCell(shape(22, true, true, 3)), {1e-6}});
  return cases;
}

TEST(PmeMethod, SitesAgreeWithTheDirectMethodWithinTheTolerance) {
  for (const MeshCase& c : meshCases()) {
    const double finest = c.tolerances.back();
    const EwaldSites reference =
        ewaldSitePotentials(prepareEwald(c.crystal, std::min(1e-10, finest / 100)));
    for (double t : c.tolerances) {
      const EwaldSites mesh = pmeSitePotentials(preparePme(c.crystal, t));
      ASSERT_EQ(mesh.potentials.size(), reference.potentials.size());
      double largest = 0;
      for (std::size_t i = 0; i < mesh.potentials.size(); ++i)
        largest = std::max(largest, std::fabs(mesh.potentials[i] - reference.potentials[i]));
      EXPECT_LE(largest, t) << c.name << " at " << t;
      EXPECT_GT(mesh.parameters.splineOrder, 0);
      EXPECT_GT(mesh.parameters.estimate(), 0) << c.name;
      EXPECT_LE(mesh.parameters.estimate(), t) << c.name;
      // The energy follows from the potentials; within the sum of |Z W| T.
      double weight = 0;
      for (const Site& s : c.crystal.sites)
        weight += 0.5 * std::fabs(s.charge * s.W);
      EXPECT_NEAR(mesh.energy, reference.energy, weight * t) << c.name;
    }
  }
}

std::vector<Position> randomPoints(int count, unsigned seed) {
  std::mt19937 rng(seed);
  std::uniform_real_distribution<double> u(-0.5, 1.5);
  std::vector<Position> points(count);
  for (Position& p : points)
    p = {u(rng), u(rng), u(rng)};
  return points;
}

TEST(PmeMethod, PointsAgreeWithTheDirectMethodOnAndOffAtoms) {
  const std::vector<std::pair<std::string, Crystal>> crystals = {
      {"rutile", withExactWeights(test::readCrystalFile(sourcePath("examples/rutile.inp")))},
      {"random oblique charged", test::randomCell(shape(6, true, true, 4))}};
  for (const auto& [name, crystal] : crystals) {
    std::vector<Position> points = randomPoints(300, 5);
    for (const Site& s : crystal.sites)
      points.push_back({s.x + 1, s.y, s.z - 1}); // on atoms, one cell away
    const EwaldPoints direct = ewaldPoints(prepareEwald(crystal, 1e-10), points);
    for (double t : {1e-4, 1e-6, 1e-8}) {
      const EwaldPoints mesh = pmePoints(
          preparePme(crystal, t, 0, defaultMemoryLimit, std::int64_t(points.size())), points);
      ASSERT_EQ(mesh.points.size(), points.size());
      for (std::size_t i = 0; i < points.size(); ++i) {
        const EwaldPoint &m = mesh.points[i], &d = direct.points[i];
        EXPECT_EQ(m.site, d.site) << name << " point " << i;
        EXPECT_DOUBLE_EQ(m.distance, d.distance);
        EXPECT_NEAR(m.phiw, d.phiw, t) << name << " point " << i << " at " << t;
        if (std::isinf(d.phic))
          EXPECT_EQ(m.phic, d.phic);
        else
          EXPECT_NEAR(m.phic, d.phic, t) << name << " point " << i << " at " << t;
      }
    }
  }
}

TEST(PmeMethod, SameBitsForEveryThreadCount) {
  const Crystal crystal = test::randomCell(shape(12, true, true, 6));
  const std::vector<Position> points = randomPoints(700, 7);
  const PmeModel one = preparePme(crystal, 1e-7, 1);
  const EwaldSites sites = pmeSitePotentials(one);
  const EwaldPoints at = pmePoints(one, points);
  for (int threads : {2, 3, 5}) {
    const PmeModel many = preparePme(crystal, 1e-7, threads);
    const EwaldSites s = pmeSitePotentials(many);
    const EwaldPoints p = pmePoints(many, points);
    for (std::size_t i = 0; i < sites.potentials.size(); ++i)
      ASSERT_EQ(s.potentials[i], sites.potentials[i]) << threads << " threads, site " << i;
    EXPECT_EQ(s.energy, sites.energy);
    for (std::size_t i = 0; i < points.size(); ++i) {
      ASSERT_EQ(p.points[i].phic, at.points[i].phic) << threads << " threads, point " << i;
      ASSERT_EQ(p.points[i].phiw, at.points[i].phiw);
    }
  }
}

TEST(PmeMethod, RefusesBadToleranceThreadsParametersAndMemory) {
  const Crystal crystal = test::randomCell(shape(4, false, false, 8));
  for (double t : std::vector<double>{0.0, -1e-6, std::nan(""), INFINITY}) {
    try {
      preparePme(crystal, t);
      ADD_FAILURE() << "tolerance " << t << " accepted";
    } catch (const Fault& f) {
      EXPECT_EQ(f.number, faults::invalidValue);
      EXPECT_NE(f.text.find("tolerance"), std::string::npos) << f.text;
    }
  }
  EXPECT_THROW(preparePme(crystal, 1e-6, -1), Fault);
  try {
    preparePme(test::randomCell(shape(20, false, false, 9)), 1e-8, 0, 1 << 20);
    ADD_FAILURE() << "a mesh beyond 1 MiB accepted";
  } catch (const Fault& f) {
    EXPECT_EQ(f.number, faults::outOfMemory);
    EXPECT_NE(f.text.find("mesh"), std::string::npos) << f.text;
  }
  EwaldParameters p;
  p.alpha = 0.5;
  p.cutoff = 8;
  p.tolerance = 1e-6;
  for (auto [order, k] : {std::pair{5, 16}, std::pair{14, 16}, std::pair{8, 6}}) {
    p.splineOrder = order;
    p.mesh = {k, k, k};
    EXPECT_THROW(preparePmeWith(crystal, p), Fault) << order << " on " << k;
  }
}

TEST(PmeMethod, ChargelessCellGivesZero) {
  Crystal crystal = test::randomCell(shape(3, false, false, 10));
  for (Site& s : crystal.sites)
    s.charge = 0;
  const EwaldSites sites = pmeSitePotentials(preparePme(crystal, 1e-6));
  for (double v : sites.potentials)
    EXPECT_EQ(v, 0.0);
}

TEST(CardinalBspline, PartitionOfUnitySymmetryAndModuli) {
  for (int order = smallestSplineOrder; order <= largestSplineOrder; order += 2)
    for (double w : {0.0, 0.125, 0.5, 0.9999}) {
      std::vector<double> m(order), mirrored(order);
      splineWeights(order, w, m);
      double sum = 0;
      for (double v : m)
        sum += v;
      EXPECT_NEAR(sum, 1.0, 1e-14) << order << " at " << w;
      // M_n(x) = M_n(n - x): the weights at 1 - w, reversed, past the node 0.
      splineWeights(order, 1 - w, mirrored);
      if (w > 0) {
        for (int j = 0; j < order; ++j)
          EXPECT_NEAR(m[j], mirrored[order - 1 - j], 1e-14) << order << " at " << w;
      }
    }
  // M_4 at the integers 1, 2, 3: 1/6, 2/3, 1/6; the moduli are 1 at m = 0.
  std::vector<double> m4(4);
  splineWeights(4, 0.0, m4);
  EXPECT_NEAR(m4[1], 1.0 / 6, 1e-15);
  EXPECT_NEAR(m4[2], 2.0 / 3, 1e-15);
  EXPECT_NEAR(m4[3], 1.0 / 6, 1e-15);
  const std::vector<double> b = splineModuli(4, 10);
  EXPECT_NEAR(b[0], 1.0, 1e-15);
  EXPECT_NEAR(b[3], b[7], 1e-12); // |b(m)| = |b(K - m)|
  EXPECT_NEAR(b[5], 9.0, 1e-12);  // at K/2: 1 / (1/6 - 2/3 + 1/6)^2
}

TEST(PmeParameters, MeshSizesAreFftFriendly) {
  const std::vector<std::pair<int, int>> cases = {{1, 1},   {11, 12},   {13, 14},  {17, 18},
                                                  {97, 98}, {121, 125}, {127, 128}};
  for (auto [n, expected] : cases)
    EXPECT_EQ(fftFriendly(n), expected) << n;
}

} // namespace
} // namespace telva
