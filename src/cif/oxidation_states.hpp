// The oxidation states of the elements with their Pauling electronegativity:
// the common states, the most common first, then the rarer ones the charge
// guess may choose when the structure asks for them (Ni4+ in MgNiF6, Nb4+ in
// NbO2, Ru5+ in Sr3LiRuO6).
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace telva {

struct ElementStates {
  std::string_view symbol;
  double electronegativity; // Pauling scale
  std::vector<int> common;  // the most common first
  std::vector<int> rarer;   // known in solids, less common
};

// The element's entry; nullptr for an element the table does not hold.
const ElementStates* elementStates(const std::string& element);

// The prior cost of a state: its rank among the common states (0 for the most
// common), rarer states after them with one step more; -1 for a state the
// element does not take.
int stateRank(const ElementStates& element, int state);

} // namespace telva
