#include "order/exhaustive_search.hpp"

#include <algorithm>
#include <cmath>
#include <mutex>
#include <queue>

#include "base/parallel.hpp"
#include "order/combinations.hpp"

namespace telva {

namespace {

// Contributions below exp(-cutoff) of the largest are left out of the sum:
// they change no digit of it even over 10^12 configurations.
constexpr double partitionCutoff = 100;

// Swaps between two full recomputations of a walk's energy and field.
constexpr std::uint64_t freshStart = 1 << 16;

std::uint64_t saturatingProduct(std::uint64_t a, std::uint64_t b) {
  if (a == 0 || b == 0) return 0;
  constexpr std::uint64_t limit = std::uint64_t{1} << 63;
  return a > limit / b ? 0 : a * b;
}

} // namespace

void EnergyHistogram::add(double energy) {
  const auto bin = static_cast<std::int64_t>(std::floor((energy - origin) / width));
  if (counts.empty()) {
    first = bin;
    counts.assign(1, 0);
  }
  if (bin < first) {
    counts.insert(counts.begin(), static_cast<std::size_t>(first - bin), 0);
    first = bin;
  } else if (bin >= first + static_cast<std::int64_t>(counts.size())) {
    counts.resize(static_cast<std::size_t>(bin - first + 1), 0);
  }
  ++counts[static_cast<std::size_t>(bin - first)];
}

void EnergyHistogram::merge(const EnergyHistogram& other) {
  if (other.counts.empty()) return;
  if (counts.empty()) {
    first = other.first;
    counts = other.counts;
    return;
  }
  const std::int64_t lo = std::min(first, other.first);
  const std::int64_t hi = std::max(first + std::int64_t(counts.size()),
                                   other.first + std::int64_t(other.counts.size()));
  std::vector<std::uint64_t> merged(static_cast<std::size_t>(hi - lo), 0);
  for (std::size_t i = 0; i < counts.size(); ++i)
    merged[static_cast<std::size_t>(first - lo) + i] += counts[i];
  for (std::size_t i = 0; i < other.counts.size(); ++i)
    merged[static_cast<std::size_t>(other.first - lo) + i] += other.counts[i];
  first = lo;
  counts = std::move(merged);
}

EnumerationPlan enumerationPlan(const ConfigurationSpace& space,
                                const std::vector<std::vector<int>>* group) {
  EnumerationPlan plan;
  int largestSites = 0;
  for (const OrbitSpace& o : space.orbits)
    largestSites = std::max(largestSites, static_cast<int>(o.sites.size()));
  const BinomialTable c(largestSites);
  // The inner walk: the orbit whose last two species have the most arrangements.
  std::uint64_t best = 0;
  for (std::size_t o = 0; o < space.orbits.size(); ++o) {
    const std::vector<int>& counts = space.orbits[o].counts;
    const std::size_t k = counts.size();
    const int n = counts[k - 2] + counts[k - 1];
    const std::uint64_t arrangements = c(n, counts[k - 1]);
    if (arrangements > best) {
      best = arrangements;
      plan.innerOrbit = static_cast<int>(o);
    }
  }
  plan.total = 1;
  for (std::size_t o = 0; o < space.orbits.size(); ++o) {
    const std::vector<int>& counts = space.orbits[o].counts;
    int left = static_cast<int>(space.orbits[o].sites.size());
    const std::size_t levels = counts.size() - 1;
    for (std::size_t l = 0; l < levels; ++l) {
      if (static_cast<int>(o) == plan.innerOrbit && l + 1 == levels) {
        const bool lastFewer = counts[l + 1] < counts[l];
        plan.innerChosen = static_cast<int>(lastFewer ? l + 1 : l);
        plan.innerOther = static_cast<int>(lastFewer ? l : l + 1);
        plan.innerN = left;
        plan.innerT = counts[plan.innerChosen];
        plan.innerCount = c(left, plan.innerT);
      } else {
        EnumerationPlan::Level level{static_cast<int>(o), static_cast<int>(l), left, counts[l],
                                     c(left, counts[l])};
        plan.outerCount = saturatingProduct(plan.outerCount, level.count);
        plan.outer.push_back(level);
      }
      left -= counts[l];
    }
  }
  const OrbitSpace& inner = space.orbits[plan.innerOrbit];
  if (group && inner.counts.size() == 2 && plan.innerT >= 1) {
    std::vector<char> reached(space.size(), 0);
    for (const std::vector<int>& g : *group)
      reached[g[inner.sites.front()]] = 1;
    const bool transitive =
        std::all_of(inner.sites.begin(), inner.sites.end(), [&](int s) { return reached[s]; });
    if (transitive) {
      plan.firstFixed = true;
      plan.multiplicity = double(plan.innerN) / plan.innerT;
      --plan.innerN;
      --plan.innerT;
      plan.innerCount = c(plan.innerN, plan.innerT);
    }
  }
  plan.total = saturatingProduct(plan.outerCount, plan.innerCount);
  return plan;
}

Configuration configurationAt(const ConfigurationSpace& space, const EnumerationPlan& plan,
                              std::uint64_t index, std::vector<int>* innerSites,
                              std::vector<int>* innerCombination) {
  int largest = 0;
  for (const OrbitSpace& o : space.orbits)
    largest = std::max(largest, static_cast<int>(o.sites.size()));
  const BinomialTable c(largest);
  std::uint64_t outer = index / plan.innerCount;
  const std::uint64_t inner = index % plan.innerCount;
  std::vector<std::uint64_t> ranks(plan.outer.size());
  for (std::size_t l = plan.outer.size(); l-- > 0;) {
    ranks[l] = outer % plan.outer[l].count;
    outer /= plan.outer[l].count;
  }
  Configuration config(space.size(), 0);
  std::size_t level = 0;
  for (std::size_t o = 0; o < space.orbits.size(); ++o) {
    const OrbitSpace& orbit = space.orbits[o];
    std::vector<int> left = orbit.sites;
    const std::size_t levels = orbit.counts.size() - 1;
    for (std::size_t l = 0; l < levels; ++l) {
      if (static_cast<int>(o) == plan.innerOrbit && l + 1 == levels) {
        const std::vector<int> chosen =
            revolvingDoorCombination(c, plan.innerN, plan.innerT, inner);
        for (int site : left)
          config[site] = static_cast<std::uint8_t>(orbit.species[plan.innerOther]);
        if (plan.firstFixed) {
          config[left.front()] = static_cast<std::uint8_t>(orbit.species[plan.innerChosen]);
          left.erase(left.begin());
        }
        for (int k : chosen)
          config[left[k]] = static_cast<std::uint8_t>(orbit.species[plan.innerChosen]);
        if (innerSites) *innerSites = left;
        if (innerCombination) *innerCombination = chosen;
        left.clear();
        break;
      }
      const std::vector<int> chosen =
          lexicographicCombination(c, static_cast<int>(left.size()), orbit.counts[l], ranks[level]);
      ++level;
      std::vector<int> rest;
      std::size_t next = 0;
      for (std::size_t k = 0; k < left.size(); ++k) {
        if (next < chosen.size() && chosen[next] == static_cast<int>(k)) {
          config[left[k]] = static_cast<std::uint8_t>(orbit.species[l]);
          ++next;
        } else {
          rest.push_back(left[k]);
        }
      }
      left = std::move(rest);
    }
    for (int site : left)
      config[site] = static_cast<std::uint8_t>(orbit.species.back());
  }
  return config;
}

namespace {

// The walk over one chunk of global indices.
struct ChunkWalk {
  const ConfigurationSpace& space;
  const PairEnergy& energy;
  const EnumerationPlan& plan;
  std::size_t keep;
  double kT;
  Enumeration result;
  std::priority_queue<std::pair<double, std::uint64_t>> heap;

  void visit(double e, std::uint64_t index) {
    if (heap.size() < keep) {
      heap.push({e, index});
    } else if (keep > 0 && e < heap.top().first) {
      heap.pop();
      heap.push({e, index});
    }
    if (result.scored == 0) {
      result.partitionShift = e;
      result.partitionSum = 1;
      result.lowestEnergy = result.highestEnergy = e;
    } else {
      if (e < result.partitionShift) {
        result.partitionSum = result.partitionSum * std::exp((e - result.partitionShift) / kT) + 1;
        result.partitionShift = e;
      } else if (e - result.partitionShift < partitionCutoff * kT) {
        result.partitionSum += std::exp((result.partitionShift - e) / kT);
      }
      result.lowestEnergy = std::min(result.lowestEnergy, e);
      result.highestEnergy = std::max(result.highestEnergy, e);
    }
    result.histogram.add(e);
    ++result.scored;
  }

  void run(std::uint64_t begin, std::uint64_t end) {
    const int m = space.size();
    const double* a = energy.pairs.data();
    std::uint64_t index = begin;
    while (index < end) {
      // A fresh start: the configuration unranked, its energy and field in full.
      std::vector<int> sites, combination;
      const Configuration config = configurationAt(space, plan, index, &sites, &combination);
      const std::vector<double> q = chargesOf(space, config);
      double e = configurationEnergy(energy, q);
      const int n = static_cast<int>(sites.size());
      const OrbitSpace& orbit = space.orbits[plan.innerOrbit];
      const double d = space.charges[orbit.species[plan.innerChosen]] -
                       space.charges[orbit.species[plan.innerOther]];
      // Field at the walked sites, d x their pair block, and the pair term of each swap.
      std::vector<double> field(n), scaled(static_cast<std::size_t>(n) * n),
          pairTerm(static_cast<std::size_t>(n) * n);
      for (int k = 0; k < n; ++k) {
        const double* row = a + static_cast<std::size_t>(sites[k]) * m;
        double f = energy.fixedField[sites[k]];
        for (int j = 0; j < m; ++j)
          f += row[j] * q[j];
        field[k] = f;
        for (int l = 0; l < n; ++l)
          scaled[static_cast<std::size_t>(k) * n + l] = d * row[sites[l]];
      }
      for (int k = 0; k < n; ++k)
        for (int l = 0; l < n; ++l) {
          const double akk = a[static_cast<std::size_t>(sites[k]) * m + sites[k]];
          const double all = a[static_cast<std::size_t>(sites[l]) * m + sites[l]];
          const double akl = a[static_cast<std::size_t>(sites[k]) * m + sites[l]];
          pairTerm[static_cast<std::size_t>(k) * n + l] = 0.5 * d * d * (akk + all - 2 * akl);
        }
      RevolvingDoor door(plan.innerN, plan.innerT, combination);
      std::uint64_t inner = index % plan.innerCount;
      // A fresh start at least every freshStart steps keeps the running sums' drift small.
      const std::uint64_t stop =
          std::min({end, index - inner + plan.innerCount, index + freshStart});
      visit(e, index);
      double* f = field.data();
      for (++index; index < stop; ++index) {
        int out = 0, in = 0;
        door.next(out, in);
        e += d * (f[in] - f[out]) + pairTerm[static_cast<std::size_t>(in) * n + out];
        const double* rowIn = &scaled[static_cast<std::size_t>(in) * n];
        const double* rowOut = &scaled[static_cast<std::size_t>(out) * n];
        for (int k = 0; k < n; ++k)
          f[k] += rowIn[k] - rowOut[k];
        visit(e, index);
      }
    }
  }
};

} // namespace

Enumeration enumerateAll(const ConfigurationSpace& space, const PairEnergy& energy,
                         const EnumerationPlan& plan, std::size_t keep, double kT,
                         double histogramOrigin, double histogramWidth, int threads,
                         const std::function<void(double)>& progress) {
  const std::uint64_t total = plan.total;
  const int chunks = static_cast<int>(std::min<std::uint64_t>(total, enumerationChunks));
  std::vector<Enumeration> parts(chunks);
  std::mutex reporting;
  std::uint64_t done = 0;
  parallelFor(
      chunks,
      [&](int k) {
        ChunkWalk walk{space, energy, plan, keep, kT, {}, {}};
        walk.result.histogram.origin = histogramOrigin;
        walk.result.histogram.width = histogramWidth;
        const std::uint64_t begin = total / chunks * k + std::min<std::uint64_t>(k, total % chunks);
        const std::uint64_t end = begin + total / chunks + (std::uint64_t(k) < total % chunks);
        walk.run(begin, end);
        while (!walk.heap.empty()) {
          walk.result.lowest.push_back(walk.heap.top());
          walk.heap.pop();
        }
        parts[k] = std::move(walk.result);
        if (progress) {
          const std::lock_guard<std::mutex> lock(reporting);
          done += end - begin;
          progress(double(done) / double(total));
        }
      },
      threads);
  Enumeration all;
  all.histogram.origin = histogramOrigin;
  all.histogram.width = histogramWidth;
  all.partitionShift = parts[0].partitionShift;
  for (const Enumeration& p : parts)
    all.partitionShift = std::min(all.partitionShift, p.partitionShift);
  all.lowestEnergy = parts[0].lowestEnergy;
  all.highestEnergy = parts[0].highestEnergy;
  for (const Enumeration& p : parts) {
    all.partitionSum +=
        plan.multiplicity * p.partitionSum * std::exp((all.partitionShift - p.partitionShift) / kT);
    all.scored += p.scored;
    all.lowestEnergy = std::min(all.lowestEnergy, p.lowestEnergy);
    all.highestEnergy = std::max(all.highestEnergy, p.highestEnergy);
    all.lowest.insert(all.lowest.end(), p.lowest.begin(), p.lowest.end());
    all.histogram.merge(p.histogram);
  }
  std::sort(all.lowest.begin(), all.lowest.end());
  if (all.lowest.size() > keep) all.lowest.resize(keep);
  return all;
}

} // namespace telva
