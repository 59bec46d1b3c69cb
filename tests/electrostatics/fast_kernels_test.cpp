// The fast table build and synthesis against the term-by-term reference:
// every potential within 1e-12 of the sum of the absolute values of the
// reference's terms, on the examples and on random structures, with the
// inversion flag set and clear; and listings that do not depend on the
// number of threads.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <random>

#include "crystal/cell_geometry.hpp"
#include "electrostatics/coefficient_table.hpp"
#include "electrostatics/reference/reference_synthesis.hpp"
#include "electrostatics/reference/reference_table.hpp"
#include "electrostatics/sphere_form_factor.hpp"
#include "electrostatics/table_build.hpp"
#include "electrostatics/table_synthesis.hpp"
#include "electrostatics/test_structure.hpp"
#include "listing/input_file.hpp"
#include "test_support.hpp"

namespace telva {
namespace {

using test::op;
using test::Structure;

// The allowed difference between the fast and the reference potential:
// 1e-12 of the sum of |A cos| + |B sin| over the reference table, scaled as
// the synthesis scales its sum. Where every cosine and sine is zero in exact
// arithmetic (rock salt at 1/4 1/4 1/4) the reference's terms are rounding
// noise of the phases themselves, so a floor of 1e-14 of the sum of
// |A| + |B| is added: no evaluation of the terms can do better.
double allowedDifference(const CoefficientTable& t, double volume, const Position& p) {
  const double px = p.x * twoPi, py = p.y * twoPi, pz = p.z * twoPi;
  double terms = 0, entries = 0;
  forEachHalfSpaceReflection(t.hmax, t.kmax, t.lmax, [&](int h, int k, int l) {
    const double phase = h * px + (k * py + l * pz);
    const double a = t.cosinePart(h, k, l), b = t.sinePart(h, k, l);
    terms += std::fabs(a * std::cos(phase)) + std::fabs(b * std::sin(phase));
    entries += std::fabs(a) + std::fabs(b);
  });
  return (1e-12 * terms + 1e-14 * entries) * 2 / pi / volume;
}

void expectFastMatchesReference(const Structure& s, const std::vector<Position>& points) {
  SCOPED_TRACE(s.name);
  const CellGeometry g = buildCellGeometry(s.lattice, s.range);
  const TableInputs inputs{g, s.radius, s.range, s.inversion, s.ops, s.sites};
  const CoefficientTable reference = referenceCoefficientTable(inputs);
  const CoefficientTable fast = buildCoefficientTable(inputs);
  ASSERT_EQ(reference.A.size(), fast.A.size());
  ASSERT_EQ(reference.B.size(), fast.B.size());
  if (s.inversion) {
    EXPECT_TRUE(fast.B.empty());
  }

  const std::vector<double> potentials = tablePotentials(fast, g.volume, points);
  for (std::size_t i = 0; i < points.size(); ++i) {
    const Position& p = points[i];
    const double expected = referenceTablePotential(reference, g.volume, p.x, p.y, p.z);
    const double bound = allowedDifference(reference, g.volume, p);
    EXPECT_LE(std::fabs(potentials[i] - expected), bound)
        << "at " << p.x << ' ' << p.y << ' ' << p.z << ": fast " << potentials[i] << ", reference "
        << expected;
  }
}

std::vector<Position> sitePoints(const std::vector<Site>& sites) {
  std::vector<Position> points;
  for (const Site& s : sites)
    points.push_back({s.x, s.y, s.z});
  return points;
}

TEST(FastKernels, RandomStructuresStayWithinTheBound) {
  std::mt19937_64 random(20261207);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  // Operations of P2_1/c and of P6_3 (hexagonal rows with two terms).
  const std::vector<SymOp> monoclinic = {op(0, 1, 0, 0, 2, 0, 0, 3, 0),
                                         op(0, -1, 0, 0.5, 2, 0, 0.5, -3, 0)};
  const std::vector<SymOp> hexagonal = {
      op(0, 1, 0, 0, 2, 0, 0, 3, 0),    op(0, -2, 0, 0, 1, -2, 0, 3, 0),
      op(0, -1, 2, 0, -1, 0, 0, 3, 0),  op(0, -1, 0, 0, -2, 0, 0.5, 3, 0),
      op(0, 2, 0, 0, -1, 2, 0.5, 3, 0), op(0, 1, -2, 0, 1, 0, 0.5, 3, 0)};
  for (int trial = 0; trial < 8; ++trial) {
    Structure s;
    s.name = "random structure " + std::to_string(trial);
    const bool hex = trial % 2 == 1;
    if (hex) {
      const double a = 3 + 2 * unit(random);
      s.lattice = {a, a, 4 + 3 * unit(random), 90, 90, 120};
      s.ops = hexagonal;
    } else {
      s.lattice = {3 + 3 * unit(random),   3 + 3 * unit(random),   3 + 3 * unit(random),
                   75 + 30 * unit(random), 80 + 30 * unit(random), 85 + 20 * unit(random)};
      s.ops = monoclinic;
    }
    s.radius = 0.5 + 0.5 * unit(random);
    s.range = 1.5 + 1.5 * unit(random);
    s.inversion = trial % 4 < 2 ? 0 : 3;
    for (int i = 0; i < 5; ++i)
      s.sites.push_back({"X", i % 2 ? -1.5 : 1.5, 0.25 + unit(random), 2 * unit(random) - 0.5,
                         unit(random), unit(random)});
    std::vector<Position> points = sitePoints(s.sites);
    for (int i = 0; i < 4; ++i)
      points.push_back({unit(random), unit(random), 3 * unit(random)});
    expectFastMatchesReference(s, points);
  }
}

TEST(FastKernels, ExamplesStayWithinTheBound) {
  for (const char* name : {"rocksalt", "rocksalt_fm3m", "cscl", "fluorite", "zincblende", "rutile",
                           "wurtzite", "corundum"}) {
    const std::string path = std::string(TELVA_SOURCE_DIR) + "/examples/" + name + ".inp";
    InputFile input(std::fopen(path.c_str(), "rb"), path);
    Listing listing(std::fopen("/dev/null", "wb"), "/dev/null");
    const InputHead head = readHead(input, listing);
    // A third of the range keeps the term-by-term build quick.
    Structure s{name,        head.lattice, head.radius, head.range / 3, head.inversionAtOrigin,
                head.symOps, head.sites};
    std::vector<Position> points = sitePoints(s.sites);
    while (const auto p = readPosition(input))
      points.push_back(*p);
    expectFastMatchesReference(s, points);
  }
}

TEST(FastKernels, ResultOfAPointDoesNotDependOnItsCompany) {
  const CellGeometry g = buildCellGeometry({4.2, 5.1, 6.3, 80, 100, 95}, 2.5);
  const std::vector<SymOp> ops = {op(0, 1, 0, 0, 2, 0, 0, 3, 0)};
  const std::vector<Site> sites = {{"A", 2, 1, 0.1, 0.2, 0.3}, {"B", -2, 1, 0.6, 0.55, 0.8}};
  const CoefficientTable table = buildCoefficientTable({g, 0.8, 2.5, 0, ops, sites});
  std::vector<Position> many;
  for (int i = 0; i < 37; ++i)
    many.push_back({0.03 * i, 0.5 - 0.01 * i, 0.7 + 0.02 * i});
  const std::vector<double> together = tablePotentials(table, g.volume, many);
  for (std::size_t i = 0; i < many.size(); i += 5) {
    const std::vector<double> alone = tablePotentials(table, g.volume, {&many[i], 1});
    EXPECT_EQ(alone[0], together[i]) << "point " << i;
  }
}

// The whole listing of an example, run with a given number of threads.
std::string listingWithThreads(const std::string& input, int threads) {
  test::TempDir dir;
  setenv("TELVA_THREADS", std::to_string(threads).c_str(), 1);
  const test::RunResult r = test::runInProcess({input, dir / "out.lst"});
  unsetenv("TELVA_THREADS");
  EXPECT_EQ(r.status, 0) << r.err;
  return test::readFile(dir / "out.lst");
}

TEST(FastKernels, ListingIsTheSameForEveryThreadCount) {
  for (const char* name : {"rocksalt.inp", "wurtzite.inp", "corundum.inp"}) {
    const std::string input = std::string(TELVA_SOURCE_DIR) + "/examples/" + name;
    const std::string one = listingWithThreads(input, 1);
    EXPECT_EQ(listingWithThreads(input, 2), one) << name;
    EXPECT_EQ(listingWithThreads(input, 7), one) << name;
  }
}

} // namespace
} // namespace telva
