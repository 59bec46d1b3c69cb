// The map case of the benchmark: spinel MgAl2O4 (conventional cell, the
// symmetric input, a table of about 2,000,000 entries) on a 96 x 96 x 96
// grid. Times the map against the positions route (one position record per
// node) on a sample of the same nodes, scaled to the whole grid, in one run.
#include <chrono>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "base/parallel.hpp"
#include "electrostatics/positions.hpp"
#include "electrostatics/sphere_model.hpp"
#include "map/map_input.hpp"
#include "map/potential_map.hpp"

namespace {

using namespace telva;
using Clock = std::chrono::steady_clock;

double since(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

} // namespace

int main(int argc, char** argv) {
  const std::string path = argc > 1 ? argv[1] : TELVA_BENCH_DIR "/crystals/spinel.inp";
  const double range = argc > 2 ? std::stod(argv[2]) : 9.8; // 2,022,480 table entries
  MapCrystal crystal = readInputFileCrystal(path);
  crystal.range = range;
  const GridSize grid{96, 96, 96};

  Clock::time_point start = Clock::now();
  const SphereModel model = prepareSphere(crystal.crystal, crystal.radius, crystal.range);
  const double tableTime = since(start);
  const PositionContext context = positionContext(model);

  start = Clock::now();
  const PotentialMap map = sphereMap(context, grid, MapQuantity::phic);
  const double mapTime = since(start);

  // Every 443rd node, spread over the whole grid: 1,998 position records.
  std::vector<Position> sample;
  for (std::size_t n = 0; n < grid.nodes(); n += 443) {
    const int k = int(n % grid.n3), j = int(n / grid.n3 % grid.n2), i = int(n / grid.n3 / grid.n2);
    sample.push_back(nodePosition(grid, i, j, k));
  }
  start = Clock::now();
  const std::vector<PositionResult> records = evaluatePositions(context, sample);
  const double sampleTime = since(start);
  const double positionsTime = sampleTime * double(grid.nodes()) / double(sample.size());

  // The two routes agree at the sampled nodes.
  double largest = 0;
  for (std::size_t s = 0; s < sample.size(); ++s) {
    const std::size_t n = std::size_t(s) * 443;
    if (std::isfinite(records[s].phic))
      largest = std::max(largest, std::abs(records[s].phic - map.values[n]));
  }

  std::printf("map case: spinel MgAl2O4, %lld table entries, grid %d x %d x %d, %d threads\n",
              static_cast<long long>(model.geometry.requiredEntries), grid.n1, grid.n2, grid.n3,
              threadCount());
  std::printf("  table build                 %8.3f s\n", tableTime);
  std::printf("  map (sphere phic)           %8.3f s  (%zu nodes on atoms)\n", mapTime,
              map.nodesOnAtoms);
  std::printf("  positions route, %zu nodes  %8.3f s, scaled to the grid %8.1f s\n", sample.size(),
              sampleTime, positionsTime);
  std::printf("  map / positions route       %8.0fx faster\n", positionsTime / mapTime);
  std::printf("  largest |phic difference|   %8.1e e/A at the sampled nodes\n", largest);
  std::printf("  table %.1f MB + grid %.1f MB = %.1f MB\n",
              model.geometry.requiredEntries * 8.0 / (1 << 20) *
                  (crystal.crystal.inversionAtOrigin ? 1 : 2),
              grid.nodes() * 8.0 / (1 << 20),
              (model.geometry.requiredEntries * 8.0 * (crystal.crystal.inversionAtOrigin ? 1 : 2) +
               grid.nodes() * 8.0) /
                  (1 << 20));
  return 0;
}
