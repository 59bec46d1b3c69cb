// The sphere method as the front ends call it: refusals of meaningless values
// and of tables past the memory limit before anything is allocated, and the
// same numbers as the listing program's phases.
#include "electrostatics/core.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "electrostatics/table_build.hpp"
#include "listing/stable_values.hpp"

namespace telva {
namespace {

constexpr double inf = std::numeric_limits<double>::infinity();
constexpr double nan = std::numeric_limits<double>::quiet_NaN();

SymOp identity() {
  SymOp op;
  op.rows = {SymOpRow{0, 1, 0}, SymOpRow{0, 2, 0}, SymOpRow{0, 3, 0}};
  return op;
}

// Rock salt with its eight ions listed in P1.
Crystal rockSalt() {
  Crystal c;
  c.lattice = {5.64, 5.64, 5.64, 90, 90, 90};
  c.symOps = {identity()};
  const double f[4][3] = {{0, 0, 0}, {0, 0.5, 0.5}, {0.5, 0, 0.5}, {0.5, 0.5, 0}};
  for (const auto& p : f) {
    c.sites.push_back({"Na      ", 1, 1, p[0], p[1], p[2]});
    c.sites.push_back({"Cl      ", -1, 1, p[0] + 0.5, p[1], p[2]});
  }
  return c;
}

TEST(SphereModel, RefusesMeaninglessValuesWithTheListingsTexts) {
  struct Case {
    const char* name;
    double radius, range;
    void (*spoil)(Crystal&);
    const char* text;
  };
  const Case cases[] = {
      {"zero radius", 0, 3, [](Crystal&) {}, "radius of an ionic sphere must be a positive number"},
      {"NaN radius", nan, 3, [](Crystal&) {},
       "radius of an ionic sphere must be a positive number"},
      {"infinite range", 1, inf, [](Crystal&) {}, "reciprocal-space range must be"},
      {"negative range", 1, -1, [](Crystal&) {}, "reciprocal-space range must be"},
      {"flat cell", 1, 3, [](Crystal& c) { c.lattice[5] = 180; },
       "lattice parameters describe no cell"},
      {"infinite translation", 1, 3, [](Crystal& c) { c.symOps[0].rows[1].translation = inf; },
       "translation of a symmetry operation must be a finite number"},
      {"NaN charge", 1, 3, [](Crystal& c) { c.sites[3].charge = nan; },
       "charge of an atom must be a finite number"},
      {"NaN coordinate", 1, 3, [](Crystal& c) { c.sites[0].z = nan; },
       "coordinates of an atom must be finite numbers"},
  };
  for (const Case& c : cases) {
    Crystal crystal = rockSalt();
    c.spoil(crystal);
    try {
      prepareSphere(crystal, c.radius, c.range);
      ADD_FAILURE() << c.name << ": accepted";
    } catch (const Fault& fault) {
      EXPECT_EQ(fault.number, faults::invalidValue) << c.name;
      EXPECT_NE(fault.text.find(c.text), std::string::npos) << c.name << ": " << fault.text;
    }
  }
}

TEST(SphereModel, RefusesATablePastTheMemoryLimitWithTheFigure) {
  const Crystal crystal = rockSalt();
  // qmax 40 in a 5.64 A cube: (2*225+1)^2 (225+1) = 45,968,626 entries, two
  // arrays of doubles, 736 MB; far more than the listing program holds, and
  // still refused before allocating when the limit is 100 MB.
  try {
    prepareSphere(crystal, 1, 40, 1, 100'000'000);
    ADD_FAILURE() << "accepted";
  } catch (const Fault& fault) {
    EXPECT_EQ(fault.number, faults::outOfMemory);
    EXPECT_NE(fault.text.find("45968626 entries needs 736 MB"), std::string::npos) << fault.text;
    EXPECT_NE(fault.text.find("limit of 100 MB"), std::string::npos) << fault.text;
  }
}

TEST(SphereModel, GivesTheListingProgramsSitePotentials) {
  const Crystal crystal = rockSalt();
  const SphereModel model = prepareSphere(crystal, 1, 6, 2);
  // The listing program's own phases on the same values.
  const CellGeometry g = buildCellGeometry(crystal.lattice, 6);
  const CoefficientTable table = buildCoefficientTable({g, 1, 6, 0, crystal.symOps, crystal.sites});
  EXPECT_EQ(model.table.A, table.A);
  EXPECT_EQ(model.table.B, table.B);
  const std::vector<double> listed = stableSitePotentials(table, g.volume, 1, crystal.sites);
  const std::vector<double> phi =
      stableSitePotentials(model.table, model.geometry.volume, model.radius, crystal.sites, 1);
  EXPECT_EQ(phi, listed);
  EXPECT_NEAR(phi[0], -0.6197174, 5e-7); // the README's rock-salt value
  const PositionContext context = positionContext(model);
  const std::vector<Position> points = {{0.25, 0.25, 0.25}, {0.1, 0, 0}};
  const std::vector<PositionResult> r = evaluatePositions(context, points, 1);
  EXPECT_NEAR(r[0].phic, 0, 1e-12);
  EXPECT_EQ(r[1].neighbour.site, 0);
  EXPECT_NEAR(r[1].neighbour.distance, 0.564, 1e-12);
}

} // namespace
} // namespace telva
