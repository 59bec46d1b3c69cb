// Partial and mixed occupancy: one record per position carrying the average
// charge, so that the site potentials are those of the averaged point
// charges, whatever the sphere radius.
#include <gtest/gtest.h>

#include <cmath>

#include "cif/cif_reader.hpp"
#include "cif/conversion.hpp"
#include "cif_test_support.hpp"
#include "crystal/cell_geometry.hpp"
#include "electrostatics/ewald_reference.hpp"
#include "electrostatics/site_potentials.hpp"
#include "electrostatics/table_build.hpp"
#include "electrostatics/truncation_estimate.hpp"

namespace telva {
namespace {

// A rock-salt cell in F-1 (the face centring and the inversion: 8
// operations, 4 written) with whatever species share the cation position
// (0, 0, 0) and the anion position (1/2, 1/2, 1/2).
std::string rockSaltCif(const std::string& cationRows, const std::string& anionRows) {
  return "data_mixed\n_cell_length_a 5.64\n_cell_length_b 5.64\n_cell_length_c 5.64\n"
         "_cell_angle_alpha 90\n_cell_angle_beta 90\n_cell_angle_gamma 90\n"
         "loop_\n_space_group_symop_operation_xyz\nx,y,z\n-x,-y,-z\nx,y+1/2,z+1/2\n"
         "-x,-y+1/2,-z+1/2\nx+1/2,y,z+1/2\n-x+1/2,-y,-z+1/2\nx+1/2,y+1/2,z\n-x+1/2,-y+1/2,-z\n"
         "loop_\n_atom_site_label\n_atom_site_type_symbol\n_atom_site_fract_x\n"
         "_atom_site_fract_y\n_atom_site_fract_z\n_atom_site_occupancy\n" +
         cationRows + anionRows;
}

std::vector<double> potentials(const Conversion& c) {
  const InputHead head = cif_test::readBack(c.inputText);
  const CellGeometry g = buildCellGeometry(head.lattice, head.range);
  const CoefficientTable table = buildCoefficientTable(
      {g, head.radius, head.range, head.inversionAtOrigin, head.symOps, head.sites});
  return sitePotentials(table, g.volume, head.radius, head.sites);
}

// The point-charge potentials of the two positions by the Ewald sum, with
// the averaged charges on the 4 + 4 atoms of the cell.
std::array<double, 2> ewaldPotentials(double cation, double anion) {
  const test::EwaldCell cell{5.64, 5.64, 5.64};
  std::vector<test::PointCharge> charges;
  for (const auto& f :
       {std::array<double, 3>{0, 0, 0}, {0, 0.5, 0.5}, {0.5, 0, 0.5}, {0.5, 0.5, 0}})
    charges.push_back({cation, f[0], f[1], f[2]});
  for (const auto& f :
       {std::array<double, 3>{0.5, 0.5, 0.5}, {0.5, 0, 0}, {0, 0.5, 0}, {0, 0, 0.5}})
    charges.push_back({anion, f[0], f[1], f[2]});
  return {test::ewaldSitePotential(cell, charges, 0), test::ewaldSitePotential(cell, charges, 4)};
}

TEST(Occupancy, MixedAndPartialPositionsGiveTheAveragedChargesPotentials) {
  struct Case {
    const char* name;
    std::string cations, anions;
    double cation, anion; // the averaged charges
  };
  const Case cases[] = {
      {"mixed cation and anion positions", "Na1 Na+ 0 0 0 0.5\nCa1 Ca2+ 0 0 0 0.5\n",
       "Cl1 Cl- .5 .5 .5 0.5\nO1 O2- .5 .5 .5 0.5\n", 1.5, -1.5},
      {"partial positions, half empty", "Na1 Na+ 0 0 0 0.5\n", "Cl1 Cl- .5 .5 .5 0.5\n", 0.5, -0.5},
      {"vacancy and a mixed cation", "Na1 Na+ 0 0 0 0.8\nCa1 Ca2+ 0 0 0 0.1\n",
       "Cl1 Cl- .5 .5 .5 1\n", 1.0, -1.0},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.name);
    const CifCrystal crystal = readCifText(rockSaltCif(k.cations, k.anions), "mixed.cif");
    const std::array<double, 2> reference = ewaldPotentials(k.cation, k.anion);
    // Converged settings at two radii: the potentials stay those of the
    // averaged point charges, to the truncation estimate.
    for (double radius : {1.0, 1.3}) {
      ConversionOptions options;
      options.radius = radius;
      options.tolerance = 1e-6;
      const Conversion c = convertCrystal(crystal, options);
      ASSERT_EQ(c.sites.size(), 2u);
      EXPECT_DOUBLE_EQ(c.sites[0].charge, k.cation);
      EXPECT_DOUBLE_EQ(c.sites[1].charge, k.anion);
      EXPECT_EQ(c.sites[0].W, 0.5); // 4 atoms over 8 operations, whatever the occupancy
      EXPECT_LE(c.truncationError, 1e-6);
      const std::vector<double> phi = potentials(c);
      EXPECT_NEAR(phi[0], reference[0], 1e-5) << "R = " << radius;
      EXPECT_NEAR(phi[1], reference[1], 1e-5) << "R = " << radius;
    }
  }
}

TEST(Occupancy, TheEstimateBoundsTheErrorOfTheDefaultRange) {
  // The default qmax (tolerance 1e-5) for a rock salt of averaged charges +-1.5.
  const CifCrystal crystal = readCifText(rockSaltCif("Na1 Na+ 0 0 0 0.5\nCa1 Ca2+ 0 0 0 0.5\n",
                                                     "Cl1 Cl- .5 .5 .5 0.5\nO1 O2- .5 .5 .5 0.5\n"),
                                         "mixed.cif");
  const Conversion c = convertCrystal(crystal, {});
  EXPECT_LE(c.truncationError, 1e-5);
  const std::array<double, 2> reference = ewaldPotentials(1.5, -1.5);
  const std::vector<double> phi = potentials(c);
  EXPECT_LE(std::abs(phi[0] - reference[0]), c.truncationError);
  EXPECT_LE(std::abs(phi[1] - reference[1]), c.truncationError);
}

} // namespace
} // namespace telva
