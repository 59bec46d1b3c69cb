// The examples' site potentials converge to the published point-charge
// lattice sums as the reciprocal-space range grows (R stays at most half the
// shortest cation-anion distance, so the smeared and the point charges give
// the same potential outside the spheres).
#include <gtest/gtest.h>

#include <cmath>

#include "crystal/cell_geometry.hpp"
#include "electrostatics/site_potentials.hpp"
#include "electrostatics/table_build.hpp"
#include "listing/input_file.hpp"
#include "listing/stable_values.hpp"

namespace telva {
namespace {

InputHead exampleHead(const std::string& name) {
  const std::string path = std::string(TELVA_SOURCE_DIR) + "/examples/" + name + ".inp";
  InputFile input(std::fopen(path.c_str(), "rb"), path);
  Listing listing(std::fopen("/dev/null", "wb"), "/dev/null");
  return readHead(input, listing);
}

// The site potentials of an example with its range scaled by `fraction`.
std::vector<double> potentialsWithRange(const InputHead& head, double fraction) {
  const double range = head.range * fraction;
  const CellGeometry g = buildCellGeometry(head.lattice, range);
  const CoefficientTable table = buildCoefficientTable(
      {g, head.radius, range, head.inversionAtOrigin, head.symOps, head.sites});
  return stableSitePotentials(table, g.volume, head.radius, head.sites);
}

struct Converged {
  const char* example;
  double latticeSum; // lattice sum referred to the nearest-neighbour distance
  double distance;   // nearest cation-anion distance over the cell edge a
  double cation;     // charge of the first site
  double reached;    // the error left at the example's own range, e/Angstrom
};

TEST(Convergence, SitePotentialsApproachThePublishedLatticeSums) {
  const Converged cases[] = {
      {"rocksalt", 1.747565, 0.5, 1, 2e-5},                 // NaCl, r0 = a/2
      {"cscl", 1.762675, std::sqrt(3.0) / 2, 1, 5e-7},      // CsCl, r0 = a sqrt(3)/2
      {"zincblende", 1.638055, std::sqrt(3.0) / 4, 2, 1e-6} // ZnS, r0 = a sqrt(3)/4
  };
  for (const Converged& c : cases) {
    SCOPED_TRACE(c.example);
    const InputHead head = exampleHead(c.example);
    const double r0 = head.lattice[0] * c.distance;
    // phi at the cation: -Z alpha / r0, with Z the magnitude of either charge.
    const double pointCharge = -c.cation * c.latticeSum / r0;
    double previous = INFINITY;
    for (double fraction : {0.25, 0.5, 1.0}) {
      const double error = std::fabs(potentialsWithRange(head, fraction)[0] - pointCharge);
      EXPECT_LT(error, previous) << "range " << head.range * fraction;
      previous = error;
    }
    EXPECT_LT(previous, c.reached);
  }
}

TEST(Convergence, FluoriteEnergyApproachesItsLatticeSumEnergy) {
  // E per CaF2 = -2 alpha / r0 with alpha = 2.51939 referred to the Ca-F
  // distance r0 = a sqrt(3)/4 (charges 2 and 1); the listed energy is the
  // cell's divided by the 192 operations, and the cell holds 4 CaF2.
  const InputHead head = exampleHead("fluorite");
  const double r0 = head.lattice[0] * std::sqrt(3.0) / 4;
  const double perFormula = -2 * 2.51939 / r0;
  double previous = INFINITY;
  for (double fraction : {0.25, 0.5, 1.0}) {
    const std::vector<double> phi = potentialsWithRange(head, fraction);
    const double energy = energyPerAsymmetricUnit(head.sites, phi) * 192 / 4;
    const double error = std::fabs(energy - perFormula);
    EXPECT_LT(error, previous) << "range " << head.range * fraction;
    previous = error;
  }
  EXPECT_LT(previous, 2e-5);
}

} // namespace
} // namespace telva
