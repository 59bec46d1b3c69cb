#include "order/stochastic_search.hpp"

#include <algorithm>
#include <cmath>
#include <map>
#include <mutex>
#include <set>
#include <unordered_set>

#include "base/parallel.hpp"
#include "order/canonical_form.hpp"

namespace telva {

Configuration randomConfiguration(const ConfigurationSpace& space, SplitMix& random) {
  Configuration c(space.size(), 0);
  for (const OrbitSpace& orbit : space.orbits) {
    std::vector<std::uint8_t> species;
    for (std::size_t k = 0; k < orbit.species.size(); ++k)
      species.insert(species.end(), orbit.counts[k], static_cast<std::uint8_t>(orbit.species[k]));
    for (std::size_t i = species.size(); i > 1; --i)
      std::swap(species[i - 1], species[random.below(i)]);
    for (std::size_t i = 0; i < species.size(); ++i)
      c[orbit.sites[i]] = species[i];
  }
  return c;
}

namespace {

struct Run {
  std::map<Configuration, double, ConfigurationOrder> kept; // canonical form -> energy
  std::set<std::pair<double, Configuration>, ConfigurationOrder> byEnergy;
  std::vector<std::uint64_t> visited; // hashes of the configurations visited
};

void keepOrdering(Run& run, const Configuration& canonical, double e, std::size_t keep) {
  if (run.kept.count(canonical)) return;
  if (run.byEnergy.size() >= keep) {
    if (!(e < run.byEnergy.rbegin()->first)) return;
    run.kept.erase(run.byEnergy.rbegin()->second);
    run.byEnergy.erase(std::prev(run.byEnergy.end()));
  }
  run.kept.emplace(canonical, e);
  run.byEnergy.insert({e, canonical});
}

Run anneal(const ConfigurationSpace& space, const PairEnergy& energy,
           const std::vector<Permutation>& group, const SearchSettings& settings, int index) {
  Run run;
  SplitMix random{settings.seed * 0x100000001B3ull + static_cast<std::uint64_t>(index) + 1};
  const int m = space.size();
  std::vector<std::uint64_t> zobrist(static_cast<std::size_t>(m) * space.species.size());
  for (std::uint64_t& z : zobrist)
    z = random.next();
  Configuration c = randomConfiguration(space, random);
  std::vector<double> q = chargesOf(space, c);
  const double* a = energy.pairs.data();
  std::vector<double> field(m);
  double e = 0;
  auto recompute = [&] {
    for (int i = 0; i < m; ++i) {
      double f = energy.fixedField[i];
      for (int j = 0; j < m; ++j)
        f += a[static_cast<std::size_t>(i) * m + j] * q[j];
      field[i] = f;
    }
    e = configurationEnergy(energy, q);
  };
  recompute();
  std::uint64_t hash = 0;
  for (int i = 0; i < m; ++i)
    hash ^= zobrist[static_cast<std::size_t>(i) * space.species.size() + c[i]];
  // Sites of orbits that hold more than one species: every orbit does.
  auto proposal = [&](int& x, int& y) {
    x = static_cast<int>(random.below(m));
    const OrbitSpace& orbit = space.orbits[space.siteOrbit[x]];
    for (int tries = 0; tries < 64; ++tries) {
      y = orbit.sites[random.below(orbit.sites.size())];
      if (c[y] != c[x]) return true;
    }
    return false;
  };
  auto change = [&](int x, int y) {
    const double dq = q[y] - q[x]; // x takes y's charge, y takes x's
    return dq * (field[x] - field[y]) +
           0.5 * dq * dq *
               (a[static_cast<std::size_t>(x) * m + x] + a[static_cast<std::size_t>(y) * m + y] -
                2 * a[static_cast<std::size_t>(x) * m + y]);
  };
  // The starting temperature: the mean size of a random swap's change.
  double scale = 0;
  int samples = 0;
  for (int k = 0; k < 256; ++k) {
    int x = 0, y = 0;
    if (!proposal(x, y)) continue;
    scale += std::abs(change(x, y));
    ++samples;
  }
  const double hot = samples && scale > 0 ? 2 * scale / samples : 1.0, cold = hot * 1e-5;
  const double cooling =
      std::pow(cold / hot, 1.0 / double(std::max<std::int64_t>(1, settings.steps)));
  double temperature = hot;
  std::unordered_set<std::uint64_t> considered;
  auto consider = [&] {
    if (run.byEnergy.size() >= settings.keep && !(e < run.byEnergy.rbegin()->first)) return;
    if (!considered.insert(hash).second) return;
    keepOrdering(run, canonicalForm(group, c), e, settings.keep);
  };
  run.visited.push_back(hash);
  consider();
  for (std::int64_t step = 0; step < settings.steps; ++step, temperature *= cooling) {
    int x = 0, y = 0;
    if (!proposal(x, y)) continue;
    const double de = change(x, y);
    if (de > 0 && !(random.uniform() < std::exp(-de / temperature))) continue;
    const double dq = q[y] - q[x];
    const double* rowX = a + static_cast<std::size_t>(x) * m;
    const double* rowY = a + static_cast<std::size_t>(y) * m;
    for (int i = 0; i < m; ++i)
      field[i] += dq * (rowX[i] - rowY[i]);
    e += de;
    const std::size_t s = space.species.size();
    hash ^= zobrist[x * s + c[x]] ^ zobrist[y * s + c[y]] ^ zobrist[x * s + c[y]] ^
            zobrist[y * s + c[x]];
    std::swap(c[x], c[y]);
    std::swap(q[x], q[y]);
    if (step % 65536 == 0) recompute();
    run.visited.push_back(hash);
    consider();
  }
  // The cold end quenched: the best swap taken while one lowers the energy,
  // from the walk's last configuration (a local minimum of every swap).
  recompute();
  for (;;) {
    int bestX = -1, bestY = -1;
    double bestChange = 0;
    for (int x = 0; x < m; ++x)
      for (int y : space.orbits[space.siteOrbit[x]].sites)
        if (y > x && c[y] != c[x]) {
          const double de = change(x, y);
          if (de < bestChange) {
            bestChange = de;
            bestX = x;
            bestY = y;
          }
        }
    if (bestX < 0) break;
    const double dq = q[bestY] - q[bestX];
    for (int i = 0; i < m; ++i)
      field[i] += dq * (a[static_cast<std::size_t>(bestX) * m + i] -
                        a[static_cast<std::size_t>(bestY) * m + i]);
    e += bestChange;
    const std::size_t s = space.species.size();
    hash ^= zobrist[bestX * s + c[bestX]] ^ zobrist[bestY * s + c[bestY]] ^
            zobrist[bestX * s + c[bestY]] ^ zobrist[bestY * s + c[bestX]];
    std::swap(c[bestX], c[bestY]);
    std::swap(q[bestX], q[bestY]);
    run.visited.push_back(hash);
    consider();
  }
  std::sort(run.visited.begin(), run.visited.end());
  run.visited.erase(std::unique(run.visited.begin(), run.visited.end()), run.visited.end());
  return run;
}

} // namespace

SearchResult stochasticSearch(const ConfigurationSpace& space, const PairEnergy& energy,
                              const std::vector<Permutation>& group, const SearchSettings& settings,
                              int threads, const std::function<void(double)>& progress) {
  std::vector<Run> runs(settings.runs);
  std::mutex reporting;
  int done = 0;
  parallelFor(
      settings.runs,
      [&](int k) {
        runs[k] = anneal(space, energy, group, settings, k);
        if (progress) {
          const std::lock_guard<std::mutex> lock(reporting);
          progress(double(++done) / settings.runs);
        }
      },
      threads);
  SearchResult result;
  result.runs = settings.runs;
  std::map<Configuration, double, ConfigurationOrder> all;
  std::vector<std::uint64_t> visited;
  for (const Run& run : runs) {
    for (const auto& [config, e] : run.kept) {
      auto it = all.find(config);
      if (it == all.end() || e < it->second) all[config] = e;
    }
    std::vector<std::uint64_t> merged;
    std::merge(visited.begin(), visited.end(), run.visited.begin(), run.visited.end(),
               std::back_inserter(merged));
    merged.erase(std::unique(merged.begin(), merged.end()), merged.end());
    visited = std::move(merged);
  }
  result.visited = visited.size();
  for (const auto& [config, e] : all)
    result.lowest.push_back({e, config});
  std::sort(result.lowest.begin(), result.lowest.end(), ConfigurationOrder{});
  if (!result.lowest.empty())
    for (const Run& run : runs)
      result.foundBest += run.kept.count(result.lowest.front().second) > 0;
  return result;
}

} // namespace telva
