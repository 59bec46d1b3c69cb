// A charge-balanced guess of the ionic charges from each element's common
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
