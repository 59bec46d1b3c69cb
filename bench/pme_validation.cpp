// The mesh method's accuracy and speed against the direct Gaussian method:
//
//   pme_validation check TOLERANCE CELL...   every site of each cell by both
//       methods (the direct one at 1e-10 as the reference): "cell atoms
//       alpha rc mesh order estimate maxError rmsError maxError/T"
//   pme_validation time TOLERANCE THREADS CELL...   the mesh method's wall
//       time (set-up, spreading, transforms and sites), peak memory last
// A CELL is a crystal file, or p1:N (the rock-salt P1 cell of N ions of
// ewald_timing), or random:E[:oblique][:charged] (tests/electrostatics/random_cell.hpp,
// E^3 ions).
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "../tests/crystal_file.hpp"
#include "../tests/electrostatics/random_cell.hpp"
#include "base/fault.hpp"
#include "electrostatics/ewald_model.hpp"
#include "electrostatics/ewald_sites.hpp"
#include "electrostatics/pme_model.hpp"
#include "electrostatics/pme_parameters.hpp"

namespace {

using namespace telva;

// A rock-salt arrangement of `atoms` ions on a simple cubic grid of spacing
// 2.82 A, every ion moved at random by up to 0.1 A (as ewald_timing's p1).
Crystal p1Cell(int atoms) {
  const int n = 2 * int(std::round(std::cbrt(atoms / 8.0)));
  Crystal c;
  const double step = 2.82;
  c.lattice = {n * step, n * step, n * step, 90, 90, 90};
  c.symOps = {SymOp{{SymOpRow{0, 1, 0}, SymOpRow{0, 2, 0}, SymOpRow{0, 3, 0}}}};
  std::mt19937 rng(1);
  std::uniform_real_distribution<double> jitter(-0.1, 0.1);
  for (int i = 0; i < n; ++i)
    for (int j = 0; j < n; ++j)
      for (int k = 0; k < n; ++k)
        c.sites.push_back({(i + j + k) % 2 ? "Cl" : "Na", (i + j + k) % 2 ? -1.0 : 1.0, 1.0,
                           (i + jitter(rng) / step) / n, (j + jitter(rng) / step) / n,
                           (k + jitter(rng) / step) / n});
  return c;
}

Crystal withExactWeights(Crystal c) {
  const double n = double(c.symOps.size()) * (c.inversionAtOrigin ? 2 : 1);
  for (Site& s : c.sites)
    s.W = std::round(s.W * n) / n;
  return c;
}

Crystal cellNamed(const std::string& name) {
  if (name.rfind("p1:", 0) == 0) return p1Cell(std::atoi(name.c_str() + 3));
  if (name.rfind("random:", 0) == 0) {
    test::RandomCellShape shape;
    shape.perEdge = std::atoi(name.c_str() + 7);
    shape.oblique = name.find(":oblique") != std::string::npos;
    shape.charged = name.find(":charged") != std::string::npos;
    return test::randomCell(shape);
  }
  return withExactWeights(test::readCrystalFile(name));
}

double wallSeconds() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

long peakMegabytes() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss / 1024;
}

int run(int argc, char** argv) {
  if (argc < 4) {
    std::fprintf(stderr, "usage: pme_validation check TOLERANCE CELL... | "
                         "time TOLERANCE THREADS CELL...\n");
    return 2;
  }
  const std::string mode = argv[1];
  const double tolerance = std::atof(argv[2]);
  if (mode == "check") {
    // TOLERANCE may list several, comma-separated: one reference serves all.
    std::vector<double> tolerances;
    for (const char* p = argv[2]; *p;) {
      char* end = nullptr;
      tolerances.push_back(std::strtod(p, &end));
      p = *end == ',' ? end + 1 : end;
    }
    for (int a = 3; a < argc; ++a) {
      const Crystal c = cellNamed(argv[a]);
      const EwaldSites reference = ewaldSitePotentials(prepareEwald(c, 1e-10, 0));
      // PME_FIXED="alpha rc K order[; alpha rc K order ...]": fixed choices in
      // place of the tolerances' own, for measuring the estimate's constant
      // and scanning the balance of mesh and real space; each is timed.
      std::vector<EwaldParameters> fixedSets;
      if (const char* fixed = std::getenv("PME_FIXED")) {
        for (const char* p = fixed; *p;) {
          EwaldParameters set;
          int k = 0, used = 0;
          if (std::sscanf(p, " %lf %lf %d %d%n", &set.alpha, &set.cutoff, &k, &set.splineOrder,
                          &used) != 4)
            break;
          set.mesh = {k, 0, 0};
          fixedSets.push_back(set);
          p += used;
          while (*p == ';' || *p == ' ')
            ++p;
        }
      }
      const std::size_t runs = fixedSets.empty() ? tolerances.size() : fixedSets.size();
      for (std::size_t run = 0; run < runs; ++run) {
        const double tolerance = tolerances[std::min(run, tolerances.size() - 1)];
        EwaldSites mesh;
        const double start = wallSeconds();
        if (!fixedSets.empty()) {
          EwaldParameters p = fixedSets[run];
          const CellGeometry g = buildCellGeometry(c.lattice, 0.0);
          const double h = g.a / p.mesh[0];
          p.mesh = {p.mesh[0], int(std::ceil(g.b / h)), int(std::ceil(g.c / h))};
          p.tolerance = tolerance;
          double q2 = 0;
          for (const AtomImage& atom : cellAtoms(c, cellFrame(g)))
            q2 += atom.charge * atom.charge;
          double spacing = 0;
          const double edges[3] = {g.a, g.b, g.c};
          for (int i = 0; i < 3; ++i)
            spacing = std::max(spacing, edges[i] / p.mesh[i]);
          p.realEstimate = realSpaceEstimate(p.alpha, p.cutoff, q2, g.volume);
          p.reciprocalEstimate = meshEstimate(p.splineOrder, spacing, p.alpha, q2, g.volume);
          mesh = pmeSitePotentials(preparePmeWith(c, p, 1));
          mesh.parameters.realEstimate = p.realEstimate;
          mesh.parameters.reciprocalEstimate = p.reciprocalEstimate;
        } else {
          mesh = pmeSitePotentials(preparePme(c, tolerance, 1));
        }
        const double seconds = wallSeconds() - start;
        double largest = 0, squares = 0;
        for (std::size_t i = 0; i < c.sites.size(); ++i) {
          const double e = std::fabs(mesh.potentials[i] - reference.potentials[i]);
          largest = std::max(largest, e);
          squares += e * e;
        }
        const EwaldParameters& p = mesh.parameters;
        std::printf("%s %zu alpha=%.4f rc=%.3f mesh=%dx%dx%d order=%d estimate=%.3g "
                    "(real %.3g) max=%.3g rms=%.3g max/T=%.3g seconds=%.3f\n",
                    argv[a], c.sites.size(), p.alpha, p.cutoff, p.mesh[0], p.mesh[1], p.mesh[2],
                    p.splineOrder, p.estimate(), p.realEstimate, largest,
                    std::sqrt(squares / double(c.sites.size())), largest / tolerance, seconds);
        std::fflush(stdout);
      }
    }
  } else if (mode == "time") {
    const int threads = std::atoi(argv[3]);
    for (int a = 4; a < argc; ++a) {
      const Crystal c = cellNamed(argv[a]);
      const double start = wallSeconds();
      const PmeModel model = preparePme(c, tolerance, threads);
      const double prepared = wallSeconds();
      const EwaldSites sites = pmeSitePotentials(model);
      const double done = wallSeconds();
      const EwaldParameters& p = sites.parameters;
      PmeWorkload work;
      work.volume = model.geometry.volume;
      work.cellAtoms = work.points = std::int64_t(c.sites.size());
      work.edges = {model.geometry.a, model.geometry.b, model.geometry.c};
      const std::array<int, 3> none{1, 1, 1};
      EwaldWorkload real;
      real.volume = work.volume;
      real.cellAtoms = real.points = work.cellAtoms;
      std::printf("predicted: total %.3f s, real %.3f s, mesh part %.3f s\n",
                  1e-9 * predictedPmeWork(work, p.cutoff, p.mesh, p.splineOrder),
                  1e-9 * predictedWork(real, p.cutoff, 0.0),
                  1e-9 * (predictedPmeWork(work, p.cutoff, p.mesh, p.splineOrder) -
                          predictedPmeWork(work, p.cutoff, none, p.splineOrder)));
      std::printf("%s %zu seconds=%.3f (mesh %.3f, sites %.3f) alpha=%.4f rc=%.3f mesh=%dx%dx%d "
                  "order=%d estimate=%.3g\n",
                  argv[a], c.sites.size(), done - start, prepared - start, done - prepared, p.alpha,
                  p.cutoff, p.mesh[0], p.mesh[1], p.mesh[2], p.splineOrder, p.estimate());
    }
    std::printf("peak %ld MB\n", peakMegabytes());
  } else {
    std::fprintf(stderr, "pme_validation: unknown mode '%s'\n", mode.c_str());
    return 2;
  }
  return 0;
}

} // namespace

int main(int argc, char** argv) {
  try {
    return run(argc, argv);
  } catch (const Fault& fault) {
    std::fprintf(stderr, "pme_validation: %s\n", fault.text.c_str());
    return 1;
  }
}
