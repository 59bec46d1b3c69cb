// The composition of the supercell: how many sites of each disordered
// position every species fills, its occupancy rounded to a whole number of
// atoms; the choice of the smallest supercell where that works; and the
// neutrality the charges must give.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "order/disordered_crystal.hpp"
#include "order/supercell.hpp"

namespace telva {

// Per position of the crystal, per species, the sites of the supercell it
// fills (a position of one species fills all its sites).
struct Composition {
  std::vector<std::vector<int>> counts;
  std::vector<std::string> rounded; // "Na1 0.333 -> 1/3 (4 of 12 sites)"
};

// The counts for supercells of `determinant` parent cells; nullopt when an
// occupancy is further than `tolerance` from every whole number of sites.
std::optional<Composition> wholeComposition(const DisorderedCrystal& crystal, int determinant,
                                            double tolerance);

// Sites (atoms and vacancies) of the parent cell.
int parentSites(const DisorderedCrystal& crystal);

// The smallest supercell (by sites, then the most nearly cubic: the longest
// shortest lattice vector for its volume) in which every occupancy is whole,
// of at most maxAtoms sites; CifError naming the nearest workable sizes
// when there is none.
IntMatrix automaticSupercell(const DisorderedCrystal& crystal, int maxAtoms, double tolerance,
                             std::vector<std::string>& notes);

// CifError for a supercell whose determinant makes no occupancy whole, with
// the determinants that would.
Composition compositionOf(const DisorderedCrystal& crystal, const IntMatrix& matrix,
                          double tolerance);

// The net charge of the supercell with these counts; CifError, with the net
// charge and the counts that would balance it, when it is not neutral.
void checkNeutral(const DisorderedCrystal& crystal, const Supercell& supercell,
                  const Composition& composition);

} // namespace telva
