// Times the term-by-term kernels against the fast ones on the inputs of
// bench/, side by side in one run, and prints their ratios.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <optional>
#include <string>

#include "crystal/cell_geometry.hpp"
#include "electrostatics/positions.hpp"
#include "electrostatics/reference/reference_synthesis.hpp"
#include "electrostatics/reference/reference_table.hpp"
#include "electrostatics/site_potentials.hpp"
#include "electrostatics/table_build.hpp"
#include "electrostatics/table_synthesis.hpp"
#include "listing/input_file.hpp"
#include "listing/stable_values.hpp"

namespace {

using namespace telva;

struct Crystal {
  InputHead head;
  CellGeometry geometry;
  std::vector<Position> positions;
  TableInputs inputs() const {
    return {geometry, head.radius, head.range, head.inversionAtOrigin, head.symOps, head.sites};
  }
};

Crystal load(const std::string& name) {
  const std::string path = std::string(TELVA_BENCH_DIR) + "/" + name + ".inp";
  InputFile input(std::fopen(path.c_str(), "rb"), path);
  Listing listing(std::fopen("/dev/null", "wb"), "/dev/null");
  Crystal crystal{readHead(input, listing), {}, {}};
  crystal.geometry = buildCellGeometry(crystal.head.lattice, crystal.head.range);
  while (const auto p = readPosition(input))
    crystal.positions.push_back(*p);
  return crystal;
}

const Crystal& crystal(const std::string& name) {
  static std::map<std::string, Crystal> loaded;
  auto it = loaded.find(name);
  if (it == loaded.end()) it = loaded.emplace(name, load(name)).first;
  return it->second;
}

const CoefficientTable& fastTable(const std::string& name) {
  static std::map<std::string, CoefficientTable> built;
  auto it = built.find(name);
  if (it == built.end())
    it = built.emplace(name, buildCoefficientTable(crystal(name).inputs())).first;
  return it->second;
}

// synthesis: the potential at every site and position record, on a table
// just under the capacity.
std::vector<Position> synthesisPoints(const Crystal& c) {
  std::vector<Position> points;
  for (const Site& s : c.head.sites)
    points.push_back({s.x, s.y, s.z});
  points.insert(points.end(), c.positions.begin(), c.positions.end());
  return points;
}

void synthesisReference(benchmark::State& state) {
  const Crystal& c = crystal("synthesis");
  const CoefficientTable& table = fastTable("synthesis");
  const auto points = synthesisPoints(c);
  for (auto _ : state)
    for (const Position& p : points)
      benchmark::DoNotOptimize(referenceTablePotential(table, c.geometry.volume, p.x, p.y, p.z));
}

void synthesisFast(benchmark::State& state) {
  const Crystal& c = crystal("synthesis");
  const CoefficientTable& table = fastTable("synthesis");
  const auto points = synthesisPoints(c);
  for (auto _ : state)
    benchmark::DoNotOptimize(tablePotentials(table, c.geometry.volume, points));
}

// table: the build of the coefficient table.
void tableReference(benchmark::State& state) {
  const Crystal& c = crystal("table");
  for (auto _ : state)
    benchmark::DoNotOptimize(referenceCoefficientTable(c.inputs()).A.data());
}

void tableFast(benchmark::State& state) {
  const Crystal& c = crystal("table");
  for (auto _ : state)
    benchmark::DoNotOptimize(buildCoefficientTable(c.inputs()).A.data());
}

// positions: everything a run computes: table, sites, energy, positions.
void positionsReference(benchmark::State& state) {
  const Crystal& c = crystal("positions");
  for (auto _ : state) {
    const CoefficientTable table = referenceCoefficientTable(c.inputs());
    for (const Site& s : c.head.sites)
      benchmark::DoNotOptimize(referenceSitePotential(table, c.geometry.volume, c.head.radius, s));
    const PositionContext context{
        table, c.geometry, c.head.radius, c.head.inversionAtOrigin, c.head.symOps, c.head.sites};
    for (const Position& p : c.positions)
      benchmark::DoNotOptimize(referencePosition(context, p));
  }
}

void positionsFast(benchmark::State& state) {
  const Crystal& c = crystal("positions");
  for (auto _ : state) {
    const CoefficientTable table = buildCoefficientTable(c.inputs());
    benchmark::DoNotOptimize(
        stableSitePotentials(table, c.geometry.volume, c.head.radius, c.head.sites));
    const PositionContext context{
        table, c.geometry, c.head.radius, c.head.inversionAtOrigin, c.head.symOps, c.head.sites};
    for (std::size_t first = 0; first < c.positions.size(); first += 256) {
      const std::size_t count = std::min<std::size_t>(256, c.positions.size() - first);
      benchmark::DoNotOptimize(
          stablePositions(context, std::span(c.positions).subspan(first, count)));
    }
  }
}

// Prints, after the usual table, the ratio of each reference to its fast kernel.
class RatioReporter : public benchmark::ConsoleReporter {
public:
  RatioReporter() : ConsoleReporter(OO_None) {}
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs)
      seconds_[run.run_name.function_name] = run.GetAdjustedRealTime() / 1e3;
  }
  void Finalize() override {
    ConsoleReporter::Finalize();
    std::printf("\n%-12s %14s %14s %10s\n", "case", "reference (s)", "fast (s)", "ratio");
    for (const char* name : {"synthesis", "table", "positions"}) {
      const double reference = seconds_[std::string(name) + "/reference"];
      const double fast = seconds_[std::string(name) + "/fast"];
      if (fast > 0)
        std::printf("%-12s %14.3f %14.3f %9.1fx\n", name, reference, fast, reference / fast);
    }
  }

private:
  std::map<std::string, double> seconds_;
};

} // namespace

int main(int argc, char** argv) {
  const auto once = [](benchmark::internal::Benchmark* b) {
    b->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();
  };
  once(benchmark::RegisterBenchmark("synthesis/reference", synthesisReference));
  once(benchmark::RegisterBenchmark("synthesis/fast", synthesisFast));
  once(benchmark::RegisterBenchmark("table/reference", tableReference));
  once(benchmark::RegisterBenchmark("table/fast", tableFast));
  once(benchmark::RegisterBenchmark("positions/reference", positionsReference));
  once(benchmark::RegisterBenchmark("positions/fast", positionsFast));
  benchmark::Initialize(&argc, argv);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
}
