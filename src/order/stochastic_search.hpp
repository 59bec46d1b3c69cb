// The search for the lowest orderings where there are too many to score
// them all: simulated annealing on swaps of two sites of one orbit (the
// composition kept), several independent runs from random starts, each
// deterministic for its seed. It proves nothing: the lowest found may not
// be the lowest there is.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "order/configuration_space.hpp"
#include "order/pair_energy.hpp"
#include "order/supercell_group.hpp"

namespace telva {

struct SearchSettings {
  int runs = 8;
  std::int64_t steps = 1000000; // per run
  std::uint64_t seed = 1;
  std::size_t keep = 1000; // distinct orderings kept per run, the lowest
};

struct SearchResult {
  // Canonical forms of the lowest orderings found, with their energy as the
  // walk had it (e^2/A), ascending.
  std::vector<std::pair<double, Configuration>> lowest;
  std::uint64_t visited = 0; // distinct configurations visited, over all runs
  int foundBest = 0;         // runs that found the best ordering
  int runs = 0;
};

// A small, fast generator: SplitMix64 (Steele, Lea & Flood, OOPSLA 2014).
struct SplitMix {
  std::uint64_t state;
  std::uint64_t next() {
    std::uint64_t z = (state += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  double uniform() { return double(next() >> 11) * 0x1.0p-53; }
  std::uint64_t below(std::uint64_t n) { return next() % n; }
};

// A configuration drawn uniformly: each orbit's species shuffled over its sites.
Configuration randomConfiguration(const ConfigurationSpace& space, SplitMix& random);

SearchResult stochasticSearch(const ConfigurationSpace& space, const PairEnergy& energy,
                              const std::vector<Permutation>& group, const SearchSettings& settings,
                              int threads, const std::function<void(double)>& progress);

} // namespace telva
