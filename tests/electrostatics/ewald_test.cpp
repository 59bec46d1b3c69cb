// The Gaussian (Ewald) method against the independent point-charge reference,
// against the sphere method, and its parameter choice, limits and faults.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "base/fault.hpp"
#include "crystal_file.hpp"
#include "electrostatics/complementary_error_function.hpp"
#include "electrostatics/ewald_points.hpp"
#include "electrostatics/ewald_reference.hpp"
#include "electrostatics/ewald_reference_crystal.hpp"
#include "electrostatics/ewald_sites.hpp"
#include "electrostatics/positions.hpp"
#include "electrostatics/site_potentials.hpp"
#include "electrostatics/sphere_form_factor.hpp"
#include "electrostatics/table_build.hpp"
#include "electrostatics/table_synthesis.hpp"

namespace telva {
namespace {

const SymOp identity{{SymOpRow{0, 1, 0}, SymOpRow{0, 2, 0}, SymOpRow{0, 3, 0}}};

std::string sourcePath(const std::string& relative) {
  return std::string(TELVA_SOURCE_DIR) + "/" + relative;
}

// The files carry W to eight decimals (4/192 as .02083333); the exact
// fraction multiplicity / operations makes the cell exactly neutral, which the
// reference requires.
Crystal withExactWeights(Crystal c) {
  const double n = double(c.symOps.size()) * (c.inversionAtOrigin ? 2 : 1);
  for (Site& s : c.sites)
    s.W = std::round(s.W * n) / n;
  return c;
}

std::vector<Position> randomPoints(int count, unsigned seed) {
  std::mt19937 rng(seed);
  std::uniform_real_distribution<double> u(-0.5, 1.5);
  std::vector<Position> points(count);
  for (Position& p : points)
    p = {u(rng), u(rng), u(rng)};
  return points;
}

struct AccuracyCase {
  std::string name;
  Crystal crystal;
  int sitesChecked; // the first sites of the asymmetric unit
  int points;       // random points checked
};

Crystal triclinicCell() {
  Crystal c;
  c.lattice = {4.3, 5.1, 6.2, 77, 85, 101};
  c.symOps = {identity};
  c.sites = {{"A", 2, 1, 0.1, 0.2, 0.3},
             {"B", -1, 1, 0.6, 0.1, 0.8},
             {"C", 1, 1, 0.35, 0.7, 0.55},
             {"D", -2, 1, 0.9, 0.45, 0.05}};
  return c;
}

std::vector<AccuracyCase> accuracyCases() {
  std::vector<AccuracyCase> cases;
  for (const char* name : {"rocksalt", "rocksalt_fm3m", "cscl", "fluorite", "zincblende", "rutile",
                           "wurtzite", "corundum"})
    cases.push_back(
        {std::string("examples/") + name,
         withExactWeights(test::readCrystalFile(sourcePath("examples/") + name + ".inp")), 300,
         1000});
  for (const char* name :
       {"nacl", "cscl", "caf2", "zns", "zno", "tio2", "srtio3", "al2o3", "spinel", "mg2sio4"})
    cases.push_back(
        {std::string("bench/") + name,
         withExactWeights(test::readCrystalFile(sourcePath("bench/crystals/") + name + ".inp")),
         300, 1000});
  for (const char* name : {"rocksalt_64", "rocksalt_216", "rocksalt_1000"})
    cases.push_back(
        {std::string("bench/") + name,
         withExactWeights(test::readCrystalFile(sourcePath("bench/crystals/") + name + ".inp")), 4,
         40});
  cases.push_back({"triclinic", triclinicCell(), 4, 1000});
  return cases;
}

TEST(Ewald, AgreesWithTheReferenceWithinTheTolerance) {
  for (const AccuracyCase& c : accuracyCases()) {
    SCOPED_TRACE(c.name);
    const test::Reference ref = test::referenceOf(c.crystal);
    const int sites = std::min<int>(c.sitesChecked, int(c.crystal.sites.size()));
    std::vector<double> siteReference;
    for (int i = 0; i < sites; ++i)
      siteReference.push_back(test::ewaldSitePotential(ref.cell, ref.charges, ref.siteAtom[i]));
    const std::vector<Position> points = randomPoints(c.points, 5);
    std::vector<double> pointReference;
    for (const Position& p : points)
      pointReference.push_back(test::ewaldPotential(ref.cell, ref.charges, p.x, p.y, p.z));
    for (double tolerance : {1e-6, 1e-8, 1e-10}) {
      SCOPED_TRACE("T = " + std::to_string(tolerance));
      const EwaldModel model = prepareEwald(c.crystal, tolerance, 2);
      const EwaldSites result = ewaldSitePotentials(model);
      for (int i = 0; i < sites; ++i)
        ASSERT_NEAR(result.potentials[i], siteReference[i], tolerance) << "site " << i;
      const EwaldPoints at = ewaldPoints(model, points);
      for (std::size_t i = 0; i < points.size(); ++i)
        ASSERT_NEAR(at.points[i].phic, pointReference[i], tolerance) << "point " << i;
      EXPECT_LE(result.parameters.estimate(), tolerance);
    }
  }
}

// The sphere method's site potentials and phic at the example's own range;
// its truncation error is taken as its change when the range doubles.
TEST(Ewald, AgreesWithTheSphereMethodWithinItsTruncationError) {
  for (const char* name :
       {"rocksalt", "cscl", "fluorite", "zincblende", "rutile", "wurtzite", "corundum"}) {
    SCOPED_TRACE(name);
    const test::CrystalFile file = test::readCrystalInput(sourcePath("examples/") + name + ".inp");
    const Crystal c = withExactWeights(file.crystal);
    auto sphere = [&](double range) {
      const CellGeometry g = buildCellGeometry(c.lattice, range);
      const CoefficientTable table =
          buildCoefficientTable({g, file.radius, range, c.inversionAtOrigin, c.symOps, c.sites});
      return sitePotentials(table, g.volume, file.radius, c.sites);
    };
    const std::vector<double> own = sphere(file.range), finer = sphere(2 * file.range);
    const EwaldSites ewald = ewaldSitePotentials(prepareEwald(c, 1e-9));
    for (std::size_t i = 0; i < c.sites.size(); ++i) {
      const double truncation = std::fabs(own[i] - finer[i]);
      EXPECT_LE(std::fabs(own[i] - ewald.potentials[i]), 1.5 * truncation + 1e-8) << "site " << i;
      EXPECT_LE(std::fabs(finer[i] - ewald.potentials[i]), truncation / 4 + 1e-8) << "site " << i;
    }
  }
}

// A cell of charge Q: the Ewald result does not depend on alpha (the
// background term), and the sphere method's phic is Ewald's plus pi Q R^2/(6V).
TEST(Ewald, ChargedCellCarriesAUniformBackground) {
  Crystal c = triclinicCell();
  c.sites[0].charge = 3; // Q = +1
  const EwaldModel loose = prepareEwald(c, 1e-7, 1, defaultMemoryLimit, 1);
  const EwaldModel tight = prepareEwald(c, 1e-10, 1, defaultMemoryLimit, 1000000);
  ASSERT_NE(loose.parameters.alpha, tight.parameters.alpha);
  EXPECT_NEAR(loose.totalCharge, 1.0, 1e-15);
  const std::vector<double> a = ewaldSitePotentials(loose).potentials;
  const std::vector<double> b = ewaldSitePotentials(tight).potentials;
  for (std::size_t i = 0; i < a.size(); ++i)
    EXPECT_NEAR(a[i], b[i], 1e-7);

  const double radius = 0.5, range = 12;
  const CellGeometry g = buildCellGeometry(c.lattice, range);
  const CoefficientTable table =
      buildCoefficientTable({g, radius, range, c.inversionAtOrigin, c.symOps, c.sites});
  const PositionContext context{table, g, radius, c.inversionAtOrigin, c.symOps, c.sites};
  const std::vector<Position> points = randomPoints(50, 9);
  const std::vector<PositionResult> sphere = evaluatePositions(context, points);
  const EwaldPoints ewald = ewaldPoints(tight, points);
  const double shift = pi * 1.0 * radius * radius / (6 * g.volume);
  for (std::size_t i = 0; i < points.size(); ++i)
    EXPECT_NEAR(sphere[i].phic, ewald.points[i].phic + shift, 2e-4) << "point " << i;
}

struct ChoiceCase {
  std::string name;
  Crystal crystal;
};

std::vector<ChoiceCase> choiceCases() {
  Crystal flat;
  flat.lattice = {30, 30, 2.2, 90, 90, 90};
  flat.symOps = {identity};
  flat.sites = {{"A", 1, 1, 0, 0, 0}, {"B", -1, 1, 0.5, 0.5, 0.5}};
  Crystal longCell = flat;
  longCell.lattice = {2.4, 2.4, 70, 90, 90, 120};
  Crystal one;
  one.lattice = {3.1, 3.1, 3.1, 90, 90, 90};
  one.symOps = {identity};
  one.sites = {{"Q", 2, 1, 0.2, 0.2, 0.2}};
  Crystal charged = triclinicCell();
  charged.sites[1].charge = -3;
  return {{"flat cell", flat},
          {"long hexagonal cell", longCell},
          {"one atom (charged)", one},
          {"charged triclinic", charged},
          {"triclinic", triclinicCell()},
          {"spinel", test::readCrystalFile(sourcePath("bench/crystals/spinel.inp"))}};
}

// For every tolerance from 1e-3 to 1e-12: both estimates within it, the
// result within it of a run at a hundredfold tighter tolerance, and the
// cut-offs growing as the tolerance shrinks.
TEST(Ewald, ParametersMeetEveryToleranceInAnyCell) {
  for (const ChoiceCase& c : choiceCases()) {
    SCOPED_TRACE(c.name);
    double lastCutoff = 0, lastRange = 0;
    for (int e = 3; e <= 12; ++e) {
      const double tolerance = std::pow(10.0, -e);
      SCOPED_TRACE("T = " + std::to_string(tolerance));
      const EwaldModel model = prepareEwald(c.crystal, tolerance, 1);
      const EwaldParameters& p = model.parameters;
      EXPECT_EQ(p.tolerance, tolerance);
      EXPECT_LE(p.realEstimate, tolerance / 64 * (1 + 1e-9));
      EXPECT_LE(p.reciprocalEstimate, tolerance / 64 * (1 + 1e-9));
      EXPECT_GT(p.alpha, 0);
      EXPECT_GE(p.cutoff * (1 + 1e-12), lastCutoff * 0.97);
      EXPECT_GE(p.range * (1 + 1e-12), lastRange * 0.97);
      EXPECT_EQ(model.cells.reach, p.cutoff);
      lastCutoff = p.cutoff, lastRange = p.range;
      if (e > 10) continue;
      const EwaldModel finer = prepareEwald(c.crystal, tolerance / 100, 1);
      const std::vector<double> a = ewaldSitePotentials(model).potentials;
      const std::vector<double> b = ewaldSitePotentials(finer).potentials;
      for (std::size_t i = 0; i < a.size(); ++i)
        EXPECT_NEAR(a[i], b[i], tolerance) << "site " << i;
    }
  }
}

TEST(Ewald, SameBitsForEveryThreadCount) {
  const Crystal c = test::readCrystalFile(sourcePath("bench/crystals/spinel.inp"));
  const std::vector<Position> points = randomPoints(3000, 3);
  const EwaldModel one = prepareEwald(c, 1e-8, 1, defaultMemoryLimit, 3000);
  const EwaldSites sitesOne = ewaldSitePotentials(one);
  const EwaldPoints pointsOne = ewaldPoints(one, points);
  for (int threads : {2, 3, 7}) {
    SCOPED_TRACE(threads);
    const EwaldModel many = prepareEwald(c, 1e-8, threads, defaultMemoryLimit, 3000);
    EXPECT_EQ(many.table.A, one.table.A);
    EXPECT_EQ(ewaldSitePotentials(many).potentials, sitesOne.potentials);
    const EwaldPoints pointsMany = ewaldPoints(many, points);
    for (std::size_t i = 0; i < points.size(); ++i) {
      ASSERT_EQ(pointsMany.points[i].phic, pointsOne.points[i].phic);
      ASSERT_EQ(pointsMany.points[i].phiw, pointsOne.points[i].phiw);
    }
  }
}

TEST(Ewald, PointsNameTheNearestAtomAndLeaveItOut) {
  const Crystal c = withExactWeights(test::readCrystalFile(sourcePath("examples/rutile.inp")));
  const EwaldModel model = prepareEwald(c, 1e-9, 1);
  const EwaldSites sites = ewaldSitePotentials(model);
  // On Ti, on O (an image of the site, not the listed position), and between.
  const std::vector<Position> points = {{0, 0, 0}, {1 - 0.3053, 1 - 0.3053, 1}, {0.1, 0.2, 0.3}};
  const EwaldPoints at = ewaldPoints(model, points);
  EXPECT_EQ(at.points[0].site, 0);
  EXPECT_EQ(at.points[0].distance, 0);
  EXPECT_EQ(at.points[0].phic, INFINITY);
  EXPECT_NEAR(at.points[0].phiw, sites.potentials[0], 1e-12);
  EXPECT_EQ(at.points[1].site, 1);
  EXPECT_EQ(at.points[1].phic, -INFINITY);
  EXPECT_NEAR(at.points[1].phiw, sites.potentials[1], 1e-12);
  const EwaldPoint& p = at.points[2];
  const auto nearest = nearestAtom(model.cells, cartesianPoint(model.cells, points[2]));
  ASSERT_TRUE(nearest.has_value());
  EXPECT_EQ(p.site, nearest->site);
  EXPECT_EQ(p.distance, nearest->distance);
  EXPECT_NEAR(p.phiw, p.phic - c.sites[p.site].charge / p.distance, 1e-12);
  // The pieces a map assembles give phic.
  const std::vector<RealSpaceSum> real = ewaldRealSpace(model, points);
  const std::vector<double> table = tablePotentials(model.table, model.geometry.volume, points);
  EXPECT_NEAR(table[2] + real[2].potential, p.phic, 1e-13);
  EXPECT_NEAR(real[0].coincidentCharge, 4.0, 1e-12);
}

// The figure of the memory check bounds what the model holds.
TEST(Ewald, MemoryFigureBoundsTheModel) {
  for (const char* name : {"spinel", "zno", "rocksalt_512"}) {
    SCOPED_TRACE(name);
    const Crystal c = test::readCrystalFile(sourcePath("bench/crystals/") + name + ".inp");
    for (double tolerance : {1e-4, 1e-8, 1e-12}) {
      const EwaldModel model = prepareEwald(c, tolerance, 1);
      const std::int64_t held =
          std::int64_t((model.table.A.size() + model.table.B.size()) * sizeof(double) +
                       model.cells.images.size() * sizeof(AtomImage) +
                       model.cells.binStart.size() * sizeof(std::int32_t));
      const std::int64_t figure = ewaldModelBytes(c, model.parameters);
      EXPECT_LE(held, figure);
      EXPECT_GE(held * 4 + (std::int64_t(16) << 20), figure); // and not wildly above it
      EXPECT_NO_THROW(prepareEwald(c, tolerance, 1, figure));
      EXPECT_THROW(prepareEwald(c, tolerance, 1, figure - 1), Fault);
    }
  }
}

// A crystal without sites, or without charges: every potential is zero.
TEST(Ewald, EmptyAndUnchargedCrystalsGiveZero) {
  Crystal empty;
  empty.lattice = {4, 5, 6, 90, 90, 90};
  empty.symOps = {identity};
  const EwaldModel model = prepareEwald(empty, 1e-8, 1);
  EXPECT_TRUE(ewaldSitePotentials(model).potentials.empty());
  const std::vector<Position> points = {{0.1, 0.2, 0.3}};
  const EwaldPoints at = ewaldPoints(model, points);
  EXPECT_EQ(at.points[0].site, -1);
  EXPECT_EQ(at.points[0].phic, 0);
  Crystal neutral = empty;
  neutral.sites = {{"A", 0, 1, 0, 0, 0}, {"B", 0, 1, 0.5, 0.5, 0.5}};
  const EwaldModel zero = prepareEwald(neutral, 1e-8, 1);
  for (double phi : ewaldSitePotentials(zero).potentials)
    EXPECT_EQ(phi, 0);
  const EwaldPoints near = ewaldPoints(zero, points);
  EXPECT_EQ(near.points[0].site, 0);
  EXPECT_EQ(near.points[0].phic, 0);
  EXPECT_EQ(near.points[0].phiw, 0);
}

// Points that are not finite are refused before any thread starts; points
// far out are reduced into the cell without overflowing the bin indices.
TEST(Ewald, PointsOutOfRangeAreRefusedOrReduced) {
  const Crystal c = test::readCrystalFile(sourcePath("bench/crystals/spinel.inp"));
  const EwaldModel model = prepareEwald(c, 1e-6, 3);
  for (double bad : {double(NAN), double(INFINITY), -double(INFINITY)}) {
    std::vector<Position> points(700, Position{0.1, 0.2, 0.3});
    points[650].y = bad;
    try {
      ewaldPoints(model, points);
      ADD_FAILURE() << bad << " accepted";
    } catch (const Fault& fault) {
      EXPECT_EQ(fault.number, faults::invalidValue);
      EXPECT_NE(fault.text.find("point 651"), std::string::npos) << fault.text;
    }
  }
  const std::vector<Position> far = {{1e300, -1e300, 1e300}, {1e15 + 0.1, 0.2, 0.3}};
  const EwaldPoints at = ewaldPoints(model, far);
  EXPECT_GE(at.points[0].site, 0);
  EXPECT_GE(at.points[1].site, 0);
}

// The tabulated erfc against the library's, across the table and beyond.
TEST(Ewald, TabulatedErfcMatchesTheLibrary) {
  double worstAbsolute = 0, worstRelative = 0;
  for (int i = 0; i <= 900000; ++i) {
    const double x = i * 1e-5; // 0 to 9, past the table's end at 8
    const double ours = complementaryErrorFunction(x), library = std::erfc(x);
    worstAbsolute = std::max(worstAbsolute, std::fabs(ours - library));
    if (x <= 6) worstRelative = std::max(worstRelative, std::fabs(ours - library) / library);
  }
  EXPECT_LT(worstAbsolute, 3e-16);
  EXPECT_LT(worstRelative, 2e-11);
  EXPECT_EQ(complementaryErrorFunction(0), 1.0);
  EXPECT_EQ(complementaryErrorFunction(30), std::erfc(30.0));
}

TEST(Ewald, RefusesBadRequestsBeforeAllocating) {
  const Crystal c = test::readCrystalFile(sourcePath("bench/crystals/spinel.inp"));
  try {
    prepareEwald(c, 1e-8, 1, 1 << 20);
    ADD_FAILURE() << "a 1 MiB limit was accepted";
  } catch (const Fault& fault) {
    EXPECT_EQ(fault.number, faults::outOfMemory);
    EXPECT_NE(fault.text.find("needs"), std::string::npos) << fault.text;
    EXPECT_NE(fault.text.find("limit of 1 MiB"), std::string::npos) << fault.text;
  }
  Crystal noCell = c;
  noCell.lattice = {5, 5, 5, 90, 90, 180};
  Crystal badSite = c;
  badSite.sites[1].x = NAN;
  const struct {
    std::string name;
    Crystal crystal;
    double tolerance;
    int threads;
    std::string says;
  } bad[] = {{"zero tolerance", c, 0, 1, "tolerance"},
             {"negative tolerance", c, -1e-8, 1, "tolerance"},
             {"tolerance not a number", c, NAN, 1, "tolerance"},
             {"negative threads", c, 1e-8, -2, "thread"},
             {"no cell", noCell, 1e-8, 1, "lattice"},
             {"site not finite", badSite, 1e-8, 1, "Al"}};
  for (const auto& b : bad) {
    SCOPED_TRACE(b.name);
    try {
      prepareEwald(b.crystal, b.tolerance, b.threads);
      ADD_FAILURE() << "accepted";
    } catch (const Fault& fault) {
      EXPECT_EQ(fault.number, faults::invalidValue);
      EXPECT_NE(fault.text.find(b.says), std::string::npos) << fault.text;
    }
  }
}

} // namespace
} // namespace telva
