// Times the Gaussian (Ewald) method on crystal files, on one thread:
//
//   ewald_timing sites TOLERANCE FILE...   prepare + site potentials per file:
//       "file seconds alpha rc qmax entries estimate" and one line per site
//       "site label potential"
//   ewald_timing points TOLERANCE COUNT FILE   COUNT random points
//   ewald_timing p1 TOLERANCE ATOMS           a P1 cell of ATOMS ions
// Each time is processor time (the machine is shared, and a run's wall-clock
// time there counts the other programs' turns too): the shortest of repeated
// runs lasting at least 0.3 s together.
// Peak memory is the process's (getrusage), printed last.
#include <sys/resource.h>
#include <time.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "../tests/crystal_file.hpp"
#include "base/fault.hpp"
#include "electrostatics/ewald_points.hpp"
#include "electrostatics/ewald_sites.hpp"

namespace {

using namespace telva;
using Clock = std::chrono::steady_clock;

// Processor time of the process, seconds.
double cpuSeconds() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return double(t.tv_sec) + 1e-9 * double(t.tv_nsec);
}

// The files carry W to eight decimals; multiplicity / operations exactly.
Crystal withExactWeights(Crystal c) {
  const double n = double(c.symOps.size()) * (c.inversionAtOrigin ? 2 : 1);
  for (Site& s : c.sites)
    s.W = std::round(s.W * n) / n;
  return c;
}

template <typename Run> double shortestSeconds(Run run, double minimum = 0.3, int minRuns = 3) {
  std::vector<double> times;
  double total = 0;
  while (total < minimum || int(times.size()) < minRuns) {
    const double start = cpuSeconds();
    run();
    times.push_back(cpuSeconds() - start);
    total += times.back();
    if (times.size() >= 1000) break;
  }
  std::sort(times.begin(), times.end());
  return times.front();
}

void printParameters(const char* what, double seconds, const EwaldParameters& p) {
  std::printf("%s %.6g alpha=%.4f rc=%.3f qmax=%.4f entries=%lld estimate=%.3g\n", what, seconds,
              p.alpha, p.cutoff, p.range, static_cast<long long>(p.tableEntries), p.estimate());
}

// A rock-salt arrangement of `atoms` ions on a simple cubic grid of spacing
// 2.82 A (dimensions even, so the charges alternate across the cell's faces),
// every ion moved at random by up to 0.1 A so that nothing is symmetric.
Crystal p1Cell(int atoms) {
  int n[3] = {10, 20, 50};
  if (atoms != 10000) n[0] = n[1] = n[2] = 2 * int(std::round(std::cbrt(atoms / 8.0)));
  Crystal c;
  const double step = 2.82;
  c.lattice = {n[0] * step, n[1] * step, n[2] * step, 90, 90, 90};
  c.symOps = {SymOp{{SymOpRow{0, 1, 0}, SymOpRow{0, 2, 0}, SymOpRow{0, 3, 0}}}};
  std::mt19937 rng(1);
  std::uniform_real_distribution<double> jitter(-0.1, 0.1);
  for (int i = 0; i < n[0]; ++i)
    for (int j = 0; j < n[1]; ++j)
      for (int k = 0; k < n[2]; ++k)
        c.sites.push_back({(i + j + k) % 2 ? "Cl" : "Na", (i + j + k) % 2 ? -1.0 : 1.0, 1.0,
                           (i + jitter(rng) / step) / n[0], (j + jitter(rng) / step) / n[1],
                           (k + jitter(rng) / step) / n[2]});
  return c;
}

long peakMegabytes() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss / 1024;
}

int run(int argc, char** argv) {
  if (argc < 4) {
    std::fprintf(stderr, "usage: ewald_timing sites|points|p1 TOLERANCE ...\n");
    return 2;
  }
  const std::string mode = argv[1];
  const double tolerance = std::atof(argv[2]);
  const int threads = 1;
  if (mode == "sites") {
    for (int a = 3; a < argc; ++a) {
      const Crystal c = withExactWeights(test::readCrystalFile(argv[a]));
      EwaldSites sites;
      const double seconds = shortestSeconds(
          [&] { sites = ewaldSitePotentials(prepareEwald(c, tolerance, threads)); });
      printParameters(argv[a], seconds, sites.parameters);
      for (std::size_t i = 0; i < c.sites.size(); ++i)
        std::printf("site %s %.15g\n", c.sites[i].label.c_str(), sites.potentials[i]);
    }
  } else if (mode == "points" && argc == 5) {
    const long count = std::atol(argv[3]);
    const Crystal c = withExactWeights(test::readCrystalFile(argv[4]));
    std::mt19937 rng(2);
    std::uniform_real_distribution<double> u(0, 1);
    std::vector<Position> points(count);
    for (Position& p : points)
      p = {u(rng), u(rng), u(rng)};
    const auto start = Clock::now();
    const EwaldModel model = prepareEwald(c, tolerance, threads, defaultMemoryLimit, count);
    const EwaldPoints result = ewaldPoints(model, points);
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    printParameters("points", seconds, result.parameters);
  } else if (mode == "p1") {
    const Crystal c = p1Cell(std::atoi(argv[3]));
    const auto start = Clock::now();
    const double cpuStart = cpuSeconds();
    const EwaldSites sites = ewaldSitePotentials(prepareEwald(c, tolerance, threads));
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    std::printf("atoms %zu\n", c.sites.size());
    printParameters("p1", cpuSeconds() - cpuStart, sites.parameters);
    std::printf("wall %.3f s\n", seconds);
    std::printf("energy per atom %.12g\n", sites.energy / double(c.sites.size()));
  } else {
    std::fprintf(stderr, "ewald_timing: unknown mode %s\n", mode.c_str());
    return 2;
  }
  std::printf("peak %ld MB\n", peakMegabytes());
  return 0;
}

} // namespace

int main(int argc, char** argv) {
  try {
    return run(argc, argv);
  } catch (const telva::Fault& fault) {
    std::fprintf(stderr, "ewald_timing: %s\n", fault.text.c_str());
    return fault.number;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "ewald_timing: %s\n", e.what());
    return 1;
  }
}
