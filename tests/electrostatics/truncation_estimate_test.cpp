// The truncation estimate against converged point-charge potentials, and the
// shift of a charged cell's potentials with R.
#include "electrostatics/truncation_estimate.hpp"

#include <gtest/gtest.h>

#include <cmath>

#include "crystal/cell_geometry.hpp"
#include "electrostatics/ewald_reference.hpp"
#include "electrostatics/site_potentials.hpp"
#include "electrostatics/table_build.hpp"
#include "listing/input_file.hpp"

namespace telva {
namespace {

InputHead rocksaltHead() {
  const std::string path = std::string(TELVA_SOURCE_DIR) + "/examples/rocksalt.inp";
  InputFile input(std::fopen(path.c_str(), "rb"), path);
  Listing listing(std::fopen("/dev/null", "wb"), "/dev/null");
  return readHead(input, listing);
}

std::vector<double> potentials(const InputHead& head, double radius, double range) {
  const CellGeometry g = buildCellGeometry(head.lattice, range);
  const CoefficientTable table =
      buildCoefficientTable({g, radius, range, head.inversionAtOrigin, head.symOps, head.sites});
  return sitePotentials(table, g.volume, radius, head.sites);
}

TEST(TruncationEstimate, BoundsTheErrorAndIsReachedWhereTheTailPeaks) {
  // Rock salt with R = 1 A: at whole qmax, cos(2 pi R qmax) = 1 and the tail
  // reaches its envelope; at half-whole qmax it is at its least.
  const InputHead head = rocksaltHead();
  std::vector<test::PointCharge> charges;
  for (const Site& s : head.sites)
    charges.push_back({s.charge, s.x, s.y, s.z});
  const double converged = test::ewaldSitePotential({5.64, 5.64, 5.64}, charges, 0);
  struct Case {
    double qmax;
    bool atPeak;
  };
  for (const Case& k : {Case{4, true}, Case{5, true}, Case{6, true}, Case{8, true},
                        Case{4.5, false}, Case{5.5, false}, Case{7.25, false}}) {
    SCOPED_TRACE(k.qmax);
    const double error = std::abs(potentials(head, 1.0, k.qmax)[0] - converged);
    const double estimate = truncationEstimate(1, 1.0, k.qmax);
    EXPECT_LE(error, estimate * 1.05);
    if (k.atPeak) {
      EXPECT_GE(error, 0.8 * estimate);
    }
  }
}

TEST(TruncationEstimate, ScalesWithChargeAndInvertsToTheRange) {
  EXPECT_DOUBLE_EQ(truncationEstimate(-3, 0.9, 10), 3 * truncationEstimate(1, 0.9, 10));
  EXPECT_EQ(truncationEstimate(1, 0.9, 0), INFINITY);
  EXPECT_EQ(qmaxForTolerance(0, 0.9, 1e-5), 0);
  for (double radius : {0.37, 0.834, 1.6})
    for (double tolerance : {1e-4, 1e-5, 1e-7}) {
      const double q = qmaxForTolerance(2, radius, tolerance);
      EXPECT_NEAR(truncationEstimate(2, radius, q), tolerance, tolerance * 1e-12);
    }
}

TEST(ChargedCellShift, IsHowThePotentialsMoveWithR) {
  // Rock salt with the cations at charge 1.5: a net charge of +2 e in the
  // cell; every potential moves with R by the difference of the shifts.
  InputHead head = rocksaltHead();
  double net = 0;
  for (Site& s : head.sites) {
    if (s.charge > 0) s.charge = 1.5;
    net += s.charge * s.W;
  }
  const double volume = 5.64 * 5.64 * 5.64;
  const std::vector<double> small = potentials(head, 0.9, 9);
  const std::vector<double> large = potentials(head, 1.3, 9);
  for (std::size_t i = 0; i < small.size(); ++i)
    EXPECT_NEAR(large[i] - small[i],
                chargedCellShift(net, 1.3, volume) - chargedCellShift(net, 0.9, volume), 2e-5);
}

} // namespace
} // namespace telva
