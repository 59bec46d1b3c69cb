// The structure-reading guess on sites built by hand: who is an anion, anion
// pairs, the cell's neutrality, and its refusals.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "cif/charge_guess.hpp"

namespace telva {
namespace {

GuessSite site(const char* label, const char* element, double atoms,
               std::vector<Bond> neighbours = {}) {
  return {label, element, atoms, 1.0, std::nullopt, std::move(neighbours)};
}

struct GuessCase {
  const char* name;
  std::vector<GuessSite> sites;
  std::vector<double> charges; // empty: refused
  const char* refusal = nullptr;
};

TEST(StructureGuess, ChargesEachSiteOrSaysWhyNot) {
  const GuessCase cases[] = {
      {"a sulfate: S bonded first to O is a cation, S6+",
       {site("Ba1", "Ba", 1, {{2, 2.8}}), site("S1", "S", 1, {{2, 1.47}}),
        site("O1", "O", 4, {{1, 1.47}, {0, 2.8}})},
       {2, 6, -2}},
      {"a peroxide: O whose nearest neighbour is O carries -1",
       {site("Ba1", "Ba", 1, {{1, 2.7}}), site("O1", "O", 2, {{1, 1.49}, {0, 2.7}})},
       {2, -1}},
      {"a given charge is kept and balanced against",
       {site("Na1", "Na", 1), site("Cl1", "Cl", 1)},
       {1, -1}},
      {"no bond and equally common states: a tie, refused",
       {site("Cu1", "Cu", 1), site("Fe1", "Fe", 1), site("O1", "O", 2)},
       {},
       "almost equally"},
      {"no neutral assignment",
       {site("Na1", "Na", 1), site("O1", "O", 1)},
       {},
       "no assignment of the elements' oxidation states makes the cell neutral"},
      {"an element the tables lack",
       {site("Og1", "Og", 1), site("O1", "O", 1)},
       {},
       "knows no oxidation states of Og"},
  };
  for (const GuessCase& k : cases) {
    SCOPED_TRACE(k.name);
    try {
      const std::vector<SiteGuess> guess = guessSiteCharges(k.sites);
      ASSERT_EQ(k.refusal, nullptr) << "accepted";
      ASSERT_EQ(guess.size(), k.charges.size());
      for (std::size_t i = 0; i < guess.size(); ++i)
        EXPECT_DOUBLE_EQ(guess[i].charge, k.charges[i]) << k.sites[i].label;
    } catch (const CifError& e) {
      ASSERT_NE(k.refusal, nullptr) << e.what();
      EXPECT_NE(std::string(e.what()).find(k.refusal), std::string::npos) << e.what();
    }
  }
}

// Mixed valence: one element's sites share the charge neutrality leaves
// between two of its states, and the bond-valence sums say which sites.
TEST(StructureGuess, MixedValenceGoesWhereTheBondValenceSumsPutIt) {
  // Magnetite's two iron sites: four O at 1.89 A (tetrahedral), six at
  // 2.06 A (octahedral), 8 and 16 atoms, 32 O.
  std::vector<Bond> tetrahedral(4, Bond{2, 1.89}), octahedral(6, Bond{2, 2.06});
  const std::vector<GuessSite> sites = {site("Fe1", "Fe", 8, tetrahedral),
                                        site("Fe2", "Fe", 16, octahedral),
                                        site("O1", "O", 32, {{0, 1.89}})};
  const std::vector<SiteGuess> guess = guessSiteCharges(sites);
  EXPECT_DOUBLE_EQ(guess[0].charge, 3);
  EXPECT_FALSE(guess[0].mixed);
  EXPECT_DOUBLE_EQ(guess[1].charge, 2.5);
  EXPECT_TRUE(guess[1].mixed);
  EXPECT_TRUE(guess[2].anion);
  ASSERT_TRUE(guess[0].bondValenceSum);
  EXPECT_NEAR(*guess[0].bondValenceSum, 4 * std::exp((1.759 - 1.89) / 0.37), 1e-12);
}

} // namespace
} // namespace telva
