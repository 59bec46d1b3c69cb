// The whole ranking of a disordered crystal's orderings: the supercell and
// its composition, the group, the exact count of distinct orderings, the
// pair energy, the exhaustive or the stochastic search, and the records of
// the lowest (or randomly drawn) orderings. Computation only: the files are
// written by ordering_files.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "order/big_count.hpp"
#include "order/composition.hpp"
#include "order/configuration_space.hpp"
#include "order/disordered_crystal.hpp"
#include "order/exhaustive_search.hpp"
#include "order/pair_energy.hpp"
#include "order/supercell.hpp"
#include "order/supercell_group.hpp"

namespace telva {

// Boltzmann's constant in eV/K (CODATA 2018, exact in the SI since 2019).
inline constexpr double boltzmannEvPerK = 8.617333262e-5;

enum class SearchKind { automatic, exhaustive, stochastic };

struct OrderOptions {
  std::optional<IntMatrix> supercell; // nullopt: the smallest that fits
  int lowest = 10;
  int random = 0;                 // draw this many distinct orderings uniformly instead
  double temperature = 1000;      // K
  double tolerance = 1e-8;        // e/Angstrom on the potentials
  double maxConfigurations = 1e8; // distinct orderings ranked exhaustively
  int maxAtoms = 1000;            // sites of the automatic supercell
  double occupancyTolerance = 0.02;
  SearchKind search = SearchKind::automatic;
  std::uint64_t seed = 1;
  std::int64_t steps = 1000000; // per annealing run
  int threads = 0;
  // Called with a stage ("enumeration", "search") and the fraction done.
  std::function<void(const std::string&, double)> progress;
};

struct OrderedRecord {
  int rank = 0;
  double energyPerCell = 0, energyPerAtom = 0, aboveLowestPerAtom = 0; // eV
  BigCount weight;        // configurations the ordering stands for
  double probability = 0; // Boltzmann, weights included
  Configuration configuration;
};

struct HistogramBin {
  double low = 0, high = 0; // above the lowest, eV per atom
  std::uint64_t configurations = 0;
};

struct OrderResult {
  DisorderedCrystal crystal;
  Supercell supercell;
  Composition composition;
  ConfigurationSpace space;
  SupercellGroup group;
  BigCount total, distinct;
  bool exhaustive = true;
  double lowestPerCell = 0, lowestPerAtom = 0; // eV
  std::vector<OrderedRecord> records;
  std::uint64_t scored = 0;
  std::uint64_t visited = 0; // stochastic search
  int foundBest = 0, runs = 0;
  bool randomDraw = false;
  std::vector<HistogramBin> histogram; // exhaustive search only
  std::vector<std::string> notes;
  double seconds = 0;
  EwaldParameters ewald;
};

// CifError for every refusal: no disorder, occupancies that fit no supercell,
// an unbalanced charge assignment, a determinant <= 0, too many orderings
// for the exhaustive search asked.
OrderResult runOrdering(const DisorderedCrystal& crystal, const OrderOptions& options);

// One atom of an ordered supercell.
struct OrderedAtom {
  std::string label, element;
  double charge = 0;
  Position fractional;
};

// Every atom of the configuration's supercell (vacancies left out), labels
// made unique by a running number per species.
std::vector<OrderedAtom> orderedAtoms(const OrderResult& result, const Configuration& c);

} // namespace telva
