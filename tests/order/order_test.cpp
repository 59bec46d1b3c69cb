// The ordering engine: the revolving-door walk, the exact counts against
// brute force, the swap updates against full sums, the pair energy against
// the core's Ewald sum of the ordered supercell, and the same result for
// every thread count.
#include <algorithm>
#include <gtest/gtest.h>

#include <cmath>
#include <set>

#include "electrostatics/energy_units.hpp"
#include "electrostatics/ewald_model.hpp"
#include "electrostatics/ewald_sites.hpp"
#include "order/canonical_form.hpp"
#include "order/combinations.hpp"
#include "order/distinct_count.hpp"
#include "order/exhaustive_search.hpp"
#include "order/ordering_files.hpp"
#include "order/ordering_run.hpp"

namespace telva {
namespace {

TEST(RevolvingDoor, VisitsTheUnrankedOrderOneSwapAtATime) {
  const BinomialTable c(12);
  for (int n = 1; n <= 12; ++n)
    for (int t = 0; t <= n; ++t) {
      SCOPED_TRACE("n " + std::to_string(n) + " t " + std::to_string(t));
      std::vector<int> current = revolvingDoorCombination(c, n, t, 0);
      RevolvingDoor door(n, t, current);
      std::set<std::vector<int>> seen{current};
      for (std::uint64_t r = 1; r < c(n, t); ++r) {
        int out = -1, in = -1;
        ASSERT_TRUE(door.next(out, in));
        const std::vector<int> next = revolvingDoorCombination(c, n, t, r);
        std::vector<int> moved = current;
        std::replace(moved.begin(), moved.end(), out, in);
        std::sort(moved.begin(), moved.end());
        ASSERT_EQ(moved, next) << "rank " << r;
        // The walk also continues from any unranked start.
        RevolvingDoor restarted(n, t, current);
        int out2 = -1, in2 = -1;
        ASSERT_TRUE(restarted.next(out2, in2));
        EXPECT_EQ(std::make_pair(out2, in2), std::make_pair(out, in));
        seen.insert(next);
        current = next;
      }
      int out = -1, in = -1;
      EXPECT_FALSE(door.next(out, in));
      EXPECT_EQ(seen.size(), c(n, t));
    }
}

TEST(Combinations, LexicographicUnrankingIsInOrder) {
  const BinomialTable c(9);
  std::vector<int> previous;
  for (std::uint64_t r = 0; r < c(9, 4); ++r) {
    const std::vector<int> next = lexicographicCombination(c, 9, 4, r);
    ASSERT_EQ(next.size(), 4u);
    if (r) {
      EXPECT_LT(previous, next);
    }
    previous = next;
  }
}

TEST(BigCount, AgreesWithMachineArithmeticAndPrintsBeyondIt) {
  EXPECT_EQ(binomial(32, 16).toString(), "601080390");
  EXPECT_EQ(binomial(200, 100).toString(),
            "90548514656103281165404177077484163874504589675413336841320");
  BigCount c = binomial(100, 50);
  EXPECT_EQ(c.toString(), "100891344545564193334812497256");
  EXPECT_EQ(c.divide(7), 4u);
  EXPECT_EQ(c.toString(), "14413049220794884762116071036");
  EXPECT_EQ((BigCount(1ull << 40) * BigCount(1ull << 40)).toString(), "1208925819614629174706176");
}

// Crystals built from plain values.
std::vector<SpeciesAt> at(std::initializer_list<SpeciesAt> species) {
  return species;
}

DisorderedCrystal rockSalt() { // Mg/Ni 50/50 on 4a of Fm-3m, from generators
  return disorderedCrystal(
      {4.2, 4.2, 4.2, 90, 90, 90},
      {"x,y,z",   "-x,-y,-z", "-y,x,z", "y,-x,-z",       "-x,-y,z",       "x,y,-z",       "y,-x,z",
       "-y,x,-z", "x,-y,-z",  "-x,y,z", "-y,-x,-z",      "y,x,z",         "-x,y,-z",      "x,-y,z",
       "y,x,-z",  "-y,-x,z",  "z,x,y",  "x+1/2,y+1/2,z", "x+1/2,y,z+1/2", "x,y+1/2,z+1/2"},
      {at({{"Mg1", "Mg", 2, 0.5, {0, 0, 0}}, {"Ni1", "Ni", 2, 0.5, {0, 0, 0}}}),
       at({{"O1", "O", -2, 1, {0.5, 0.5, 0.5}}})});
}

DisorderedCrystal perovskiteTernary() { // Fe/Ti/Nb thirds on the B site of a cubic perovskite
  return disorderedCrystal({3.95, 3.95, 3.95, 90, 90, 90},
                           {"x,y,z", "-x,-y,-z", "-y,x,z", "y,-x,z", "z,x,y"},
                           {at({{"Sr1", "Sr", 2, 1, {0, 0, 0}}}),
                            at({{"Fe1", "Fe", 3, 1.0 / 3, {0.5, 0.5, 0.5}},
                                {"Ti1", "Ti", 4, 1.0 / 3, {0.5, 0.5, 0.5}},
                                {"Nb1", "Nb", 5, 1.0 / 3, {0.5, 0.5, 0.5}}}),
                            at({{"O1", "O", -2, 1, {0.5, 0.5, 0}}})});
}

DisorderedCrystal vacancies() { // Na half on a site of two images a cell: NaCoO2 with Na spread
  return disorderedCrystal({2.84, 2.84, 5.4, 90, 90, 120}, {"x,y,z", "-x,-y,-z"},
                           {at({{"Na1", "Na", 1, 0.5, {0, 0, 0.25}}}),
                            at({{"Co1", "Co", 3, 1, {0, 0, 0}}}),
                            at({{"O1", "O", -2, 1, {1.0 / 3, 2.0 / 3, 0.1}}})});
}

DisorderedCrystal twoSublattices() { // Li/Fe and Mn/Ni mixed on two positions
  return disorderedCrystal(
      {4.0, 4.0, 4.4, 90, 90, 90}, {"x,y,z", "-y,x,z", "-x,-y,z", "y,-x,z"},
      {at({{"Li1", "Li", 1, 0.5, {0, 0, 0}}, {"Fe1", "Fe", 3, 0.5, {0, 0, 0}}}),
       at({{"Mn1", "Mn", 3, 0.5, {0.5, 0.5, 0.5}}, {"Ni1", "Ni", 1, 0.5, {0.5, 0.5, 0.5}}}),
       at({{"O1", "O", -2, 1, {0.5, 0, 0.25}}})});
}

struct Prepared {
  DisorderedCrystal crystal;
  Supercell supercell;
  ConfigurationSpace space;
  SupercellGroup group;
};

Prepared prepare(const DisorderedCrystal& crystal, const IntMatrix& matrix) {
  Prepared p{crystal, buildSupercell(crystal, matrix), {}, {}};
  const Composition composition = compositionOf(crystal, matrix, 0.02);
  p.space = configurationSpace(crystal, p.supercell, composition);
  p.group = supercellGroup(crystal, p.supercell, p.space);
  return p;
}

// Every configuration, by brute force: the orbits' species permuted in turn.
std::vector<Configuration> everyConfiguration(const ConfigurationSpace& space) {
  const EnumerationPlan plan = enumerationPlan(space);
  std::vector<Configuration> all;
  for (std::uint64_t i = 0; i < plan.total; ++i)
    all.push_back(configurationAt(space, plan, i));
  return all;
}

struct CountCase {
  const char* name;
  DisorderedCrystal crystal;
  IntMatrix matrix;
};

std::vector<CountCase> countCases() {
  return {
      {"binary fcc 2x2x1", rockSalt(), diagonalMatrix(2, 2, 1)},
      {"binary fcc, a skewed supercell", rockSalt(), IntMatrix{{{1, 1, 0}, {-1, 1, 0}, {0, 0, 1}}}},
      {"ternary perovskite 3x2x1", perovskiteTernary(), diagonalMatrix(3, 2, 1)},
      {"ternary perovskite 3x2x2", perovskiteTernary(), diagonalMatrix(3, 2, 2)},
      {"vacancies 2x2x2", vacancies(), diagonalMatrix(2, 2, 2)},
      {"two sublattices 2x2x2", twoSublattices(), diagonalMatrix(2, 2, 2)}};
}

TEST(DistinctCount, BurnsideEqualsTheCanonicalFormsOfEveryConfiguration) {
  for (const CountCase& c : countCases()) {
    SCOPED_TRACE(c.name);
    const Prepared p = prepare(c.crystal, c.matrix);
    const std::vector<Configuration> all = everyConfiguration(p.space);
    EXPECT_EQ(BigCount(all.size()), totalConfigurations(p.space));
    std::set<Configuration, ConfigurationOrder> distinct(all.begin(), all.end());
    ASSERT_EQ(distinct.size(), all.size()) << "the enumeration repeats a configuration";
    std::set<Configuration, ConfigurationOrder> canonical;
    std::uint64_t weights = 0;
    for (const Configuration& config : all)
      if (canonical.insert(canonicalForm(p.group.onDisordered, config)).second)
        weights += p.group.onDisordered.size() / stabiliserOrder(p.group.onDisordered, config);
    EXPECT_EQ(distinctConfigurations(p.space, p.group.onDisordered), BigCount(canonical.size()));
    EXPECT_EQ(weights, all.size()) << "the orbit sizes add up to every configuration";
  }
}

TEST(DistinctCount, GroupOfTheCellsKeepsOnlyOperationsOfTheSupercell) {
  // 2x1x1 of the cubic fcc cell: 16 of the 48 rotations keep it, times the 4
  // centrings, times 2 cells: 128 operations. The atoms of rock salt form a
  // simple cubic array of spacing a/2, two along b and two along c in this
  // supercell, so the mirrors y -> -y and z -> -z move no atom: 32 distinct
  // permutations.
  const Prepared p = prepare(rockSalt(), diagonalMatrix(2, 1, 1));
  EXPECT_EQ(p.group.parentOperations, 16 * 4);
  EXPECT_EQ(p.group.operations, 128 / 4);
  const Prepared q = prepare(rockSalt(), diagonalMatrix(3, 3, 3));
  EXPECT_EQ(q.group.operations, 48 * 4 * 27);
}

TEST(PairEnergy, SwapUpdatesEqualTheFullSum) {
  for (const CountCase& c : countCases()) {
    SCOPED_TRACE(c.name);
    const Prepared p = prepare(c.crystal, c.matrix);
    const PairEnergy energy = pairEnergy(p.crystal, p.supercell, p.space, p.group, 1e-8, 1);
    const EnumerationPlan plan = enumerationPlan(p.space);
    const Enumeration all = enumerateAll(p.space, energy, plan, plan.total, 0.1, 0, 1, 2, {});
    ASSERT_EQ(all.lowest.size(), plan.total);
    double z = 0;
    for (const auto& [e, index] : all.lowest) {
      const double full =
          configurationEnergy(energy, chargesOf(p.space, configurationAt(p.space, plan, index)));
      ASSERT_NEAR(e, full, 1e-10 * std::abs(full)) << "index " << index;
      z += std::exp(-(full - all.partitionShift) / 0.1);
    }
    EXPECT_NEAR(all.partitionSum, z, 1e-10 * z);
  }
}

// Symmetric copies of a configuration have one energy to rounding: the walk
// scores some copies, the ranking others, and their Boltzmann factors must
// agree (the Ewald sums alone are invariant only to their tolerance).
TEST(PairEnergy, SymmetricCopiesHaveOneEnergy) {
  for (const CountCase& c : countCases()) {
    SCOPED_TRACE(c.name);
    const Prepared p = prepare(c.crystal, c.matrix);
    const PairEnergy energy = pairEnergy(p.crystal, p.supercell, p.space, p.group, 1e-6, 1);
    const EnumerationPlan plan = enumerationPlan(p.space);
    for (std::uint64_t index = 0; index < plan.total; index += 1 + plan.total / 16) {
      const Configuration config = configurationAt(p.space, plan, index);
      const double e = configurationEnergy(energy, chargesOf(p.space, config));
      for (const Permutation& g : p.group.onDisordered) {
        Configuration image(config.size());
        for (std::size_t i = 0; i < config.size(); ++i)
          image[g[i]] = config[i];
        ASSERT_NEAR(configurationEnergy(energy, chargesOf(p.space, image)), e, 1e-12 * std::abs(e))
            << "index " << index;
      }
    }
  }
}

TEST(PairEnergy, FixingTheFirstSiteKeepsEveryOrderingAndTheBoltzmannSum) {
  for (const CountCase& c : countCases()) {
    SCOPED_TRACE(c.name);
    const Prepared p = prepare(c.crystal, c.matrix);
    const PairEnergy energy = pairEnergy(p.crystal, p.supercell, p.space, p.group, 1e-8, 1);
    const EnumerationPlan full = enumerationPlan(p.space);
    const EnumerationPlan fixed = enumerationPlan(p.space, &p.group.onDisordered);
    if (p.space.orbits[fixed.innerOrbit].counts.size() == 2) {
      EXPECT_TRUE(fixed.firstFixed);
      EXPECT_LT(fixed.total, full.total);
    }
    const double kT = 0.05;
    const Enumeration all = enumerateAll(p.space, energy, full, full.total, kT, 0, 1, 1, {});
    const Enumeration part = enumerateAll(p.space, energy, fixed, fixed.total, kT, 0, 1, 2, {});
    auto orderings = [&](const Enumeration& e, const EnumerationPlan& plan) {
      std::set<Configuration, ConfigurationOrder> found;
      for (const auto& [energyValue, index] : e.lowest)
        found.insert(canonicalForm(p.group.onDisordered, configurationAt(p.space, plan, index)));
      return found;
    };
    EXPECT_EQ(orderings(all, full), orderings(part, fixed));
    EXPECT_NEAR(part.partitionSum * std::exp((all.partitionShift - part.partitionShift) / kT),
                all.partitionSum, 1e-9 * all.partitionSum);
  }
}

// The ordered supercell built again from the written atoms, summed by the core.
double ewaldEnergyOfAtoms(const std::array<double, 6>& cell,
                          const std::vector<OrderedAtom>& atoms) {
  Crystal c;
  c.lattice = cell;
  SymOp identity;
  for (int r = 0; r < 3; ++r)
    identity.rows[r] = {0.0, r + 1, 0};
  c.symOps = {identity};
  for (const OrderedAtom& a : atoms)
    c.sites.push_back({"atom    ", a.charge, 1.0, a.fractional.x, a.fractional.y, a.fractional.z});
  return ewaldSitePotentials(prepareEwald(c, 1e-10, 1)).energy * electronVoltsPerUnit;
}

TEST(Ordering, EnergiesEqualTheEwaldSumOfTheOrderedSupercell) {
  for (const CountCase& c : countCases()) {
    SCOPED_TRACE(c.name);
    OrderOptions options;
    options.supercell = c.matrix;
    options.lowest = 4;
    options.threads = 1;
    const OrderResult r = runOrdering(c.crystal, options);
    ASSERT_FALSE(r.records.empty());
    for (const OrderedRecord& rec : r.records) {
      const double reference =
          ewaldEnergyOfAtoms(r.supercell.cell, orderedAtoms(r, rec.configuration));
      EXPECT_NEAR(rec.energyPerCell, reference, 1e-9 * std::abs(reference)) << rec.rank;
    }
    double probability = 0;
    for (const OrderedRecord& rec : r.records)
      probability += rec.probability;
    EXPECT_LE(probability, 1 + 1e-12);
  }
}

TEST(Ordering, SameFilesForOneAndTwoThreads) {
  const DisorderedCrystal crystal = twoSublattices();
  for (SearchKind search : {SearchKind::exhaustive, SearchKind::stochastic}) {
    OrderOptions options;
    options.supercell = diagonalMatrix(2, 2, 2);
    options.search = search;
    options.steps = 20000;
    options.threads = 1;
    const OrderResult one = runOrdering(crystal, options);
    options.threads = 2;
    const OrderResult two = runOrdering(crystal, options);
    EXPECT_EQ(orderingsCsv(one), orderingsCsv(two));
    ASSERT_FALSE(one.records.empty());
    EXPECT_EQ(orderingCif(one, one.records[0]), orderingCif(two, two.records[0]));
    EXPECT_EQ(one.visited, two.visited);
  }
}

TEST(Ordering, StochasticSearchFindsTheExhaustiveLowest) {
  OrderOptions options;
  options.supercell = diagonalMatrix(2, 2, 1);
  options.search = SearchKind::exhaustive;
  const OrderResult exhaustive = runOrdering(rockSalt(), options);
  options.search = SearchKind::stochastic;
  options.steps = 20000;
  const OrderResult stochastic = runOrdering(rockSalt(), options);
  EXPECT_FALSE(stochastic.exhaustive);
  EXPECT_GT(stochastic.visited, 0u);
  EXPECT_GE(stochastic.foundBest, 1);
  EXPECT_EQ(stochastic.records[0].configuration, exhaustive.records[0].configuration);
  EXPECT_EQ(stochastic.records[0].energyPerCell, exhaustive.records[0].energyPerCell);
}

TEST(Ordering, RandomDrawsAreDistinctOrderings) {
  OrderOptions options;
  options.supercell = diagonalMatrix(2, 2, 1);
  options.random = 5;
  const OrderResult r = runOrdering(rockSalt(), options);
  ASSERT_EQ(r.records.size(), 5u);
  std::set<Configuration, ConfigurationOrder> seen;
  for (const OrderedRecord& rec : r.records) {
    EXPECT_TRUE(seen.insert(rec.configuration).second);
    EXPECT_EQ(rec.configuration, canonicalForm(r.group.onDisordered, rec.configuration));
  }
}

TEST(Composition, RoundsWithinTheToleranceAndSaysSo) {
  DisorderedCrystal c = perovskiteTernary();
  c.positions[1].species[0].occupancy = 0.333;
  c.positions[1].species[1].occupancy = 0.333;
  c.positions[1].species[2].occupancy = 0.334;
  const std::optional<Composition> three = wholeComposition(c, 3, 0.02);
  ASSERT_TRUE(three);
  EXPECT_EQ(three->counts[1], (std::vector<int>{1, 1, 1}));
  ASSERT_FALSE(three->rounded.empty());
  EXPECT_EQ(three->rounded[0], "Fe1 0.333 -> 1/3 (1 of 3 sites)");
  EXPECT_FALSE(wholeComposition(c, 2, 0.02));
  std::vector<std::string> notes;
  // Of the index-3 supercells of the cubic cell, the one of rows <110>, <111>
  // (edges sqrt 2 a, sqrt 2 a, sqrt 3 a), not 3 x 1 x 1, on its shortest rows.
  const IntMatrix chosen = automaticSupercell(c, 100, 0.02, notes);
  EXPECT_EQ(determinant(chosen), 3);
  std::vector<int> squares;
  for (const auto& row : chosen)
    squares.push_back(row[0] * row[0] + row[1] * row[1] + row[2] * row[2]);
  std::sort(squares.begin(), squares.end());
  EXPECT_EQ(squares, (std::vector<int>{2, 2, 3}));
}

} // namespace
} // namespace telva
