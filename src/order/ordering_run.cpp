#include "order/ordering_run.hpp"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <map>
#include <set>

#include "cif/charges.hpp"
#include "electrostatics/energy_units.hpp"
#include "order/canonical_form.hpp"
#include "order/distinct_count.hpp"
#include "order/stochastic_search.hpp"

namespace telva {

namespace {

constexpr int histogramBins = 60;

std::string countText(const BigCount& c) {
  return c.toString();
}

std::string shortNumber(double v) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.6g", v);
  return buffer;
}

// Records of the orderings given by their canonical forms: exact energies,
// weights, ranked by energy.
std::vector<OrderedRecord> recordsOf(const OrderResult& r, const PairEnergy& energy,
                                     const std::vector<Configuration>& canonical) {
  std::vector<OrderedRecord> records;
  const std::size_t order = r.group.onDisordered.size();
  for (const Configuration& c : canonical) {
    OrderedRecord record;
    record.configuration = c;
    record.energyPerCell =
        configurationEnergy(energy, chargesOf(r.space, c)) * electronVoltsPerUnit;
    record.energyPerAtom = record.energyPerCell / r.space.atoms;
    record.weight = BigCount(order / stabiliserOrder(r.group.onDisordered, c));
    records.push_back(std::move(record));
  }
  std::sort(records.begin(), records.end(), [](const OrderedRecord& a, const OrderedRecord& b) {
    return a.energyPerCell != b.energyPerCell
               ? a.energyPerCell < b.energyPerCell
               : ConfigurationOrder{}(a.configuration, b.configuration);
  });
  return records;
}

// Counts of every configuration: each scored one stands for `multiplicity`.
std::vector<HistogramBin> coarseHistogram(const EnergyHistogram& fine, double lowest,
                                          double highest, int atoms, double multiplicity) {
  std::vector<HistogramBin> bins(histogramBins);
  const double span = std::max(highest - lowest, 1e-300);
  for (int b = 0; b < histogramBins; ++b) {
    bins[b].low = span * b / histogramBins / atoms * electronVoltsPerUnit;
    bins[b].high = span * (b + 1) / histogramBins / atoms * electronVoltsPerUnit;
  }
  for (std::size_t k = 0; k < fine.counts.size(); ++k) {
    const double centre = fine.origin + (double(fine.first + std::int64_t(k)) + 0.5) * fine.width;
    const int b = std::clamp(static_cast<int>((centre - lowest) / span * histogramBins), 0,
                             histogramBins - 1);
    bins[b].configurations += fine.counts[k];
  }
  for (HistogramBin& bin : bins)
    bin.configurations =
        static_cast<std::uint64_t>(std::llround(bin.configurations * multiplicity));
  return bins;
}

} // namespace

OrderResult runOrdering(const DisorderedCrystal& crystal, const OrderOptions& options) {
  const auto started = std::chrono::steady_clock::now();
  OrderResult r;
  r.crystal = crystal;
  if (std::none_of(crystal.positions.begin(), crystal.positions.end(),
                   [](const DisorderedPosition& p) { return p.disordered(); }))
    throw CifError("no disorder: every position holds one species at full occupancy, so there "
                   "is nothing to order");
  if (options.lowest < 0 || options.random < 0)
    throw commandLineError("--lowest and --random take a number of orderings, 0 or more");
  if (!(options.temperature > 0) || !std::isfinite(options.temperature))
    throw commandLineError("--temperature needs a positive number of K");
  if (!(options.tolerance > 0)) throw commandLineError("--tolerance needs a positive number");
  if (!(options.occupancyTolerance >= 0) || options.occupancyTolerance >= 0.5)
    throw commandLineError("--occupancy-tolerance needs a number in [0, 0.5)");
  if (options.maxAtoms < 1) throw commandLineError("--max-atoms needs a positive number");

  const IntMatrix matrix =
      options.supercell
          ? *options.supercell
          : automaticSupercell(crystal, options.maxAtoms, options.occupancyTolerance, r.notes);
  r.supercell = buildSupercell(crystal, matrix);
  r.composition = compositionOf(crystal, matrix, options.occupancyTolerance);
  for (const std::string& text : r.composition.rounded)
    r.notes.push_back("occupancy rounded: " + text);
  r.space = configurationSpace(crystal, r.supercell, r.composition);
  checkNeutral(crystal, r.supercell, r.composition);
  r.group = supercellGroup(crystal, r.supercell, r.space);
  r.total = totalConfigurations(r.space);
  r.distinct = distinctConfigurations(r.space, r.group.onDisordered);
  const std::size_t order = r.group.onDisordered.size();

  const EnumerationPlan plan = enumerationPlan(r.space, &r.group.onDisordered);
  const bool fits = plan.total != 0 && r.distinct.toDouble() <= options.maxConfigurations;
  if (options.search == SearchKind::exhaustive && !fits)
    throw CifError(countText(r.distinct) + " distinct orderings (" + countText(r.total) +
                   " configurations) are more than --max-configurations " +
                   shortNumber(options.maxConfigurations) +
                   " allows for the exhaustive search; raise it, or let the stochastic search "
                   "look for the lowest (--search stochastic)");
  r.exhaustive =
      options.search == SearchKind::exhaustive || (options.search == SearchKind::automatic && fits);

  const PairEnergy energy =
      pairEnergy(crystal, r.supercell, r.space, r.group, options.tolerance, options.threads);
  r.ewald = energy.parameters;
  const double kT = boltzmannEvPerK * options.temperature / electronVoltsPerUnit; // e^2/A
  auto progress = [&](const char* stage) {
    return [&options, stage](double fraction) {
      if (options.progress) options.progress(stage, fraction);
    };
  };

  std::vector<Configuration> chosen;
  double shift = 0, partition = 0; // Z = partition x exp(-shift / kT), energies e^2/A
  if (r.exhaustive) {
    // The histogram's bins, from the spread of a sample of configurations.
    SplitMix sampler{options.seed ^ 0x5DEECE66Dull};
    std::vector<double> sample;
    for (int k = 0; k < 256; ++k)
      sample.push_back(
          configurationEnergy(energy, chargesOf(r.space, randomConfiguration(r.space, sampler))));
    double mean = 0, spread = 0;
    for (double e : sample)
      mean += e / sample.size();
    for (double e : sample)
      spread += (e - mean) * (e - mean) / sample.size();
    const double width = std::max(std::sqrt(spread) / 40, 1e-12 * (1 + std::abs(mean)));
    const std::size_t keep = std::max(1, options.random ? 1 : options.lowest) * order;
    const Enumeration all = enumerateAll(r.space, energy, plan, keep, kT, sample.front(), width,
                                         options.threads, progress("enumeration"));
    r.scored = all.scored;
    shift = all.partitionShift;
    partition = all.partitionSum;
    std::set<Configuration, ConfigurationOrder> seen;
    for (const auto& [e, index] : all.lowest) {
      Configuration c = canonicalForm(r.group.onDisordered, configurationAt(r.space, plan, index));
      if (seen.insert(c).second) chosen.push_back(std::move(c));
    }
    r.histogram = coarseHistogram(all.histogram, all.lowestEnergy, all.highestEnergy, r.space.atoms,
                                  plan.multiplicity);
  } else {
    SearchSettings settings;
    settings.seed = options.seed;
    settings.steps = options.steps;
    settings.keep = std::max<std::size_t>(1000, std::size_t(options.lowest));
    const SearchResult found = stochasticSearch(r.space, energy, r.group.onDisordered, settings,
                                                options.threads, progress("search"));
    r.visited = found.visited;
    r.foundBest = found.foundBest;
    r.runs = found.runs;
    for (const auto& [e, c] : found.lowest)
      chosen.push_back(c);
  }
  std::vector<OrderedRecord> ranked = recordsOf(r, energy, chosen);
  if (ranked.empty()) throw CifError("no ordering was found");
  r.lowestPerCell = ranked.front().energyPerCell;
  r.lowestPerAtom = ranked.front().energyPerAtom;
  if (!r.exhaustive) {
    // Z over the orderings found, each with its weight.
    shift = ranked.front().energyPerCell / electronVoltsPerUnit;
    for (const OrderedRecord& rec : ranked)
      partition += rec.weight.toDouble() *
                   std::exp(-(rec.energyPerCell / electronVoltsPerUnit - shift) / kT);
  }

  if (options.random > 0) {
    // Uniform over orderings: a uniform configuration kept with probability
    // |stabiliser| / |G|, which is 1 / (configurations of its ordering).
    r.randomDraw = true;
    SplitMix random{options.seed * 0x9E3779B97F4A7C15ull + 7};
    std::set<Configuration, ConfigurationOrder> drawn;
    const double wanted = std::min(double(options.random), r.distinct.toDouble());
    std::vector<Configuration> picks;
    while (double(picks.size()) < wanted) {
      const Configuration c = randomConfiguration(r.space, random);
      if (!(random.uniform() * order < stabiliserOrder(r.group.onDisordered, c))) continue;
      Configuration canonical = canonicalForm(r.group.onDisordered, c);
      if (drawn.insert(canonical).second) picks.push_back(std::move(canonical));
    }
    ranked = recordsOf(r, energy, picks);
  } else if (ranked.size() > std::size_t(options.lowest)) {
    ranked.resize(options.lowest);
  }
  for (std::size_t k = 0; k < ranked.size(); ++k) {
    OrderedRecord& rec = ranked[k];
    rec.rank = static_cast<int>(k + 1);
    rec.aboveLowestPerAtom = rec.energyPerAtom - r.lowestPerAtom;
    rec.probability = rec.weight.toDouble() *
                      std::exp(-(rec.energyPerCell / electronVoltsPerUnit - shift) / kT) /
                      partition;
  }
  r.records = std::move(ranked);
  r.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  return r;
}

std::vector<OrderedAtom> orderedAtoms(const OrderResult& r, const Configuration& c) {
  std::vector<OrderedAtom> atoms;
  std::map<std::string, int> numbers;
  for (std::size_t i = 0; i < r.supercell.sites.size(); ++i) {
    const SupercellSite& site = r.supercell.sites[i];
    const int d = r.space.disorderedSite[i];
    const Species& s = d >= 0 ? r.space.species[c[d]]
                              : r.crystal.positions[site.position].species[r.space.fixedSpecies[i]];
    if (s.vacancy) continue;
    atoms.push_back(
        {s.label + "_" + std::to_string(++numbers[s.label]), s.element, s.charge, site.fractional});
  }
  return atoms;
}

} // namespace telva
