// Guesses of the ionic charges. The guess from the formula: each element's common
// oxidation states, the anions being the most electronegative elements.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace telva {

// The element's common oxidation states, the most common first; empty for an
// element the table does not hold.
std::vector<int> commonOxidationStates(const std::string& element);

// One oxidation state for each element of `amounts` (element, atoms in the
// cell) such that their charges and `fixedCharge` (the charge of the atoms
// already charged) add up to zero within 0.001 e. Every negative element is
// more electronegative than every positive one. Among the balanced
// assignments the one using the most common states wins (the sum of the
// states' ranks, weighted by nothing). CifError when no assignment is
// balanced, when two are equally likely (naming both), or when an element has
// no states in the table.
std::vector<std::pair<std::string, int>>
guessCharges(const std::vector<std::pair<std::string, double>>& amounts, double fixedCharge);

} // namespace telva

#include <cstddef>
#include <cstdint>
#include <optional>

#include "cif/cif_data.hpp"

namespace telva {

// The guess that reads the structure. Each site without a charge gets one:
// an anion (the more electronegative elements, bonded to cations) its
// element's most common negative state, halved in an anion pair (S2 in
// pyrite, O2 in a peroxide); a cation the state among its element's states
// (oxidation_states.hpp) that best agrees with its bond-valence sum,
// sum over its anion neighbours of exp((R0 - d)/b), and with how common the
// state is, such that the cell is neutral within guessNeutrality. The sites
// of one element may share a charge between two states (mixed valence:
// Fe^2.5+ on magnetite's octahedral site, Mn^3.5+ in LiMn2O4).
//
// Cost of an assignment, per atom of the cations guessed:
//   (q - V(q))^2 + guessRankWeight * rank(q)  [+ guessMixedCost when mixed]
// V(q) the bond-valence sum with the R0 of state q, rank 0 for the most
// common state (oxidation_states.hpp). The least costly wins; one within
// guessMargin of it is a tie, refused.
inline constexpr double guessNeutrality = 0.01;            // e per cell
inline constexpr double guessRankWeight = 0.15;            // per step of rank
inline constexpr double guessMixedCost = 0.10;             // a site between two states
inline constexpr double guessMargin = 0.02;                // the least difference that decides
inline constexpr double bondReach = 4.5;                   // Angstrom: neighbours searched
inline constexpr double bondCutoffBeyondR0 = 1.3;          // Angstrom: bonds counted to R0 + this
inline constexpr std::int64_t maxGuessImages = 20'000'000; // atom images the guess may place

// One anion neighbour of a site.
struct Bond {
  std::size_t site = 0; // into the sites of the guess
  double distance = 0;  // Angstrom
};

// A site as the guess sees it.
struct GuessSite {
  std::string label;
  std::string element;
  double atoms = 0; // in the cell: multiplicity times occupancy
  double occupancy = 1;
  std::optional<double> known;  // a charge given already
  std::vector<Bond> neighbours; // every site image within bondReach, nearest first
};

struct SiteGuess {
  double charge = 0;
  bool anion = false;
  bool mixed = false;                   // between two states of its element
  std::optional<double> bondValenceSum; // cations with bonds and parameters
};

// The guess for the sites without a known charge (known ones are kept);
// CifError saying why when no assignment is neutral, when two are within
// guessMargin, or when an element is unknown to the tables.
std::vector<SiteGuess> guessSiteCharges(const std::vector<GuessSite>& sites);

// The sites of the crystal with their neighbours, found through the
// crystal layer's atom cells.
std::vector<GuessSite> guessSites(const CifCrystal& crystal,
                                  const std::vector<std::optional<double>>& known);

// The guess's report: "Fe1 +3 (bond-valence sum 2.81), Fe2 +2.5 (2.57, mixed
// valence), O1 -2 (anion)".
std::string siteGuessText(const std::vector<GuessSite>& sites, const std::vector<SiteGuess>& guess);

} // namespace telva
