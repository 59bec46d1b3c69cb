// The grid synthesis against the term-by-term synthesis at random nodes:
// oblique and hexagonal cells, the inversion flag set and clear, grids that
// are multiples of nothing, grids coarser than the table (folded sums) and
// finer; and values that do not depend on the number of threads.
#include "electrostatics/grid_synthesis.hpp"

#include <gtest/gtest.h>

#include <cstdio>
#include <random>

#include "crystal/cell_geometry.hpp"
#include "electrostatics/reference/reference_synthesis.hpp"
#include "electrostatics/sphere_form_factor.hpp"
#include "electrostatics/table_build.hpp"
#include "electrostatics/test_structure.hpp"
#include "listing/input_file.hpp"

namespace telva {
namespace {

using test::op;
using test::Structure;

const SymOp identity = op(0, 1, 0, 0, 2, 0, 0, 3, 0);

// A P1 (or, with the flag, P-1) cell of four ions at general positions.
Structure triclinic(int inversion) {
  return {inversion ? "triclinic P-1" : "triclinic P1",
          {5.1, 6.3, 7.2, 77.0, 101.0, 65.0},
          0.8,
          2.2,
          inversion,
          {identity},
          {{"Mg1     ", 2, 1, 0.11, 0.23, 0.37},
           {"O1      ", -2, 1, 0.61, 0.19, 0.83},
           {"Na1     ", 1, 1, 0.31, 0.71, 0.52},
           {"Cl1     ", -1, 1, 0.87, 0.44, 0.09}}};
}

Structure example(const std::string& name, double range) {
  const std::string path = std::string(TELVA_SOURCE_DIR) + "/examples/" + name + ".inp";
  InputFile input(std::fopen(path.c_str(), "rb"), path);
  Listing listing(std::fopen("/dev/null", "wb"), "/dev/null");
  const InputHead head = readHead(input, listing);
  return {name, head.lattice, head.radius, range, head.inversionAtOrigin, head.symOps, head.sites};
}

TEST(GridSynthesis, EqualsTermByTermSynthesisAtRandomNodes) {
  struct Case {
    Structure structure;
    GridSize grid;
  };
  const std::vector<Case> cases = {
      {triclinic(0), {7, 11, 13}},              // finer than the table along no axis
      {triclinic(1), {17, 5, 23}},              // inversion flag set: no sine part
      {triclinic(0), {1, 1, 1}},                // the origin alone
      {example("wurtzite", 3.0), {19, 19, 29}}, // hexagonal, no inversion
      {example("corundum", 1.6), {9, 9, 31}},   // hexagonal axes, inversion flag
      {example("rutile", 2.5), {41, 37, 3}},    // grid finer than the table along a, b
  };
  std::mt19937 random(14);
  for (const Case& c : cases) {
    const Structure& s = c.structure;
    const CellGeometry g = buildCellGeometry(s.lattice, s.range);
    const CoefficientTable table =
        buildCoefficientTable({g, s.radius, s.range, s.inversion, s.ops, s.sites});
    ASSERT_FALSE(table.rows.empty()) << s.name;
    const std::vector<double> grid = gridPotentials(table, g.volume, c.grid);
    ASSERT_EQ(grid.size(), c.grid.nodes());
    const double bound = 1e-12 * (2 / (pi * g.volume)) * table.absoluteSum;
    for (int n = 0; n < 40; ++n) {
      const int i = random() % c.grid.n1, j = random() % c.grid.n2, k = random() % c.grid.n3;
      const double x = double(i) / c.grid.n1, y = double(j) / c.grid.n2, z = double(k) / c.grid.n3;
      const double reference = referenceTablePotential(table, g.volume, x, y, z);
      EXPECT_NEAR(grid[c.grid.index(i, j, k)], reference, bound)
          << s.name << " at node " << i << "," << j << "," << k;
    }
  }
}

TEST(GridSynthesis, SameValuesOnEveryThreadCount) {
  const Structure s = example("wurtzite", 3.0);
  const CellGeometry g = buildCellGeometry(s.lattice, s.range);
  const CoefficientTable table =
      buildCoefficientTable({g, s.radius, s.range, s.inversion, s.ops, s.sites});
  const GridSize size{13, 13, 21};
  const std::vector<double> one = gridPotentials(table, g.volume, size, 1);
  for (int threads : {2, 3, 7})
    EXPECT_EQ(gridPotentials(table, g.volume, size, threads), one) << threads << " threads";
}

TEST(GridSynthesis, ReportsEveryPlaneOnceInAll) {
  const Structure s = triclinic(0);
  const CellGeometry g = buildCellGeometry(s.lattice, s.range);
  const CoefficientTable table =
      buildCoefficientTable({g, s.radius, s.range, s.inversion, s.ops, s.sites});
  int last = 0, calls = 0;
  gridPotentials(table, g.volume, {3, 4, 10}, 2, [&](int done, int total) {
    EXPECT_EQ(total, 10);
    last = std::max(last, done);
    ++calls;
  });
  EXPECT_EQ(last, 10);
  EXPECT_GE(calls, 1);
  EXPECT_LE(calls, 10);
}

TEST(GridSynthesis, EmptyTableGivesZeroEverywhere) {
  Structure s = triclinic(0);
  s.range = 0.01;
  const CellGeometry g = buildCellGeometry(s.lattice, s.range);
  const CoefficientTable table =
      buildCoefficientTable({g, s.radius, s.range, s.inversion, s.ops, s.sites});
  for (double v : gridPotentials(table, g.volume, {3, 2, 5}))
    EXPECT_EQ(v, 0.0);
}

} // namespace
} // namespace telva
