// The report's extremes leave out the nodes near an atom: on rock salt's grid
// of 4 an edge (1.41 A a step) the eight ions stand on nodes, the nodes one,
// two and three steps off the nearest ion lie 1.41, 1.99 and 2.44 A from it.
#include "map/map_extremes.hpp"

#include <gtest/gtest.h>

#include "map_test_support.hpp"

namespace telva {
namespace {

TEST(MapExtremes, NodesNearAnAtomAreLeftOutOfTheMinimumAndMaximum) {
  const Crystal crystal = test::exampleCrystal("rocksalt").crystal;
  const GridSize grid{4, 4, 4};
  // Values rising with the node's index, the ions' nodes far beyond them:
  // left out, the extremes are the first and the last node off every ion.
  std::vector<double> values(grid.nodes());
  for (std::size_t n = 0; n < values.size(); ++n)
    values[n] = double(n);
  auto onIon = [](int i, int j, int k) { return i % 2 == 0 && j % 2 == 0 && k % 2 == 0; };
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j)
      for (int k = 0; k < 4; ++k)
        if (onIon(i, j, k)) values[grid.index(i, j, k)] = (i + j + k) % 4 == 0 ? -1e9 : 1e9;
  struct Case {
    double distance;
    std::size_t leftOut;
    std::size_t lowestNode, highestNode;
    bool all;
  };
  const std::vector<Case> cases = {
      {extremeAtomDistance, 8, grid.index(0, 0, 1), grid.index(3, 3, 3), false},
      {1e-3, 8, grid.index(0, 0, 1), grid.index(3, 3, 3), false},
      // Nodes one step off an ion are out too (1.41 A), two steps off (1.99 A) stay.
      {1.5, 8 + 24, grid.index(0, 1, 1), grid.index(3, 3, 3), false},
      {2.1, 8 + 24 + 24, grid.index(1, 1, 1), grid.index(3, 3, 3), false},
      // Every node within 2.5 A of an ion: the extremes are of all nodes.
      {2.5, 0, grid.index(0, 0, 0), grid.index(0, 0, 2), true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("distance " + std::to_string(c.distance));
    const MapExtremes e = mapExtremes(crystal, grid, values, c.distance);
    EXPECT_EQ(e.nodesLeftOut, c.leftOut);
    EXPECT_EQ(e.allNearAtoms, c.all);
    EXPECT_EQ(e.lowestNode, c.lowestNode);
    EXPECT_EQ(e.highestNode, c.highestNode);
    EXPECT_EQ(e.lowest, values[c.lowestNode]);
    EXPECT_EQ(e.highest, values[c.highestNode]);
  }
}

} // namespace
} // namespace telva
