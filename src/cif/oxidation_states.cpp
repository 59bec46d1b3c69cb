#include "cif/oxidation_states.hpp"

#include <algorithm>

namespace telva {

namespace {

// Pauling electronegativities (CRC Handbook of Chemistry and Physics); the
// oxidation states of the elements in their solid compounds (Greenwood &
// Earnshaw, Chemistry of the Elements, 2nd ed.), the common ones in the order
// of how often they occur, the rarer ones after them.
const std::vector<ElementStates>& table() {
  static const std::vector<ElementStates> elements = {
      {"H", 2.20, {1, -1}, {}},
      {"Li", 0.98, {1}, {}},
      {"Be", 1.57, {2}, {}},
      {"B", 2.04, {3}, {}},
      {"C", 2.55, {4, -4}, {2}},
      {"N", 3.04, {-3, 3, 5}, {}},
      {"O", 3.44, {-2}, {}},
      {"F", 3.98, {-1}, {}},
      {"Na", 0.93, {1}, {}},
      {"Mg", 1.31, {2}, {}},
      {"Al", 1.61, {3}, {}},
      {"Si", 1.90, {4, -4}, {}},
      {"P", 2.19, {5, 3, -3}, {}},
      {"S", 2.58, {-2, 6, 4, 2}, {}},
      {"Cl", 3.16, {-1, 7, 5, 3, 1}, {}},
      {"K", 0.82, {1}, {}},
      {"Ca", 1.00, {2}, {}},
      {"Sc", 1.36, {3}, {}},
      {"Ti", 1.54, {4, 3}, {2}},
      {"V", 1.63, {5, 4, 3}, {2}},
      {"Cr", 1.66, {3, 6}, {2, 4, 5}},
      {"Mn", 1.55, {2, 4, 3, 7}, {5, 6}},
      {"Fe", 1.83, {3, 2}, {4}},
      {"Co", 1.88, {2, 3}, {4}},
      {"Ni", 1.91, {2}, {3, 4}},
      {"Cu", 1.90, {2, 1}, {3}},
      {"Zn", 1.65, {2}, {}},
      {"Ga", 1.81, {3}, {1}},
      {"Ge", 2.01, {4, 2, -4}, {}},
      {"As", 2.18, {5, 3, -3}, {}},
      {"Se", 2.55, {-2, 4, 6}, {}},
      {"Br", 2.96, {-1, 5, 1}, {7}},
      {"Rb", 0.82, {1}, {}},
      {"Sr", 0.95, {2}, {}},
      {"Y", 1.22, {3}, {}},
      {"Zr", 1.33, {4}, {}},
      {"Nb", 1.60, {5}, {4, 3}},
      {"Mo", 2.16, {6, 4}, {5, 3}},
      {"Tc", 1.90, {7, 4}, {}},
      {"Ru", 2.20, {4, 3}, {5, 6, 2}},
      {"Rh", 2.28, {3}, {4}},
      {"Pd", 2.20, {2, 4}, {}},
      {"Ag", 1.93, {1}, {2}},
      {"Cd", 1.69, {2}, {}},
      {"In", 1.78, {3}, {1}},
      {"Sn", 1.96, {4, 2, -4}, {}},
      {"Sb", 2.05, {3, 5, -3}, {}},
      {"Te", 2.10, {-2, 4, 6}, {}},
      {"I", 2.66, {-1, 5, 7, 1}, {}},
      {"Cs", 0.79, {1}, {}},
      {"Ba", 0.89, {2}, {}},
      {"La", 1.10, {3}, {}},
      {"Ce", 1.12, {3, 4}, {}},
      {"Pr", 1.13, {3}, {4}},
      {"Nd", 1.14, {3}, {}},
      {"Pm", 1.13, {3}, {}},
      {"Sm", 1.17, {3}, {2}},
      {"Eu", 1.20, {3, 2}, {}},
      {"Gd", 1.20, {3}, {}},
      {"Tb", 1.10, {3}, {4}},
      {"Dy", 1.22, {3}, {}},
      {"Ho", 1.23, {3}, {}},
      {"Er", 1.24, {3}, {}},
      {"Tm", 1.25, {3}, {}},
      {"Yb", 1.10, {3}, {2}},
      {"Lu", 1.27, {3}, {}},
      {"Hf", 1.30, {4}, {}},
      {"Ta", 1.50, {5}, {4}},
      {"W", 2.36, {6, 4}, {5}},
      {"Re", 1.90, {7, 4}, {6, 5}},
      {"Os", 2.20, {4}, {6, 8}},
      {"Ir", 2.20, {4, 3}, {5}},
      {"Pt", 2.28, {4, 2}, {}},
      {"Au", 2.54, {3, 1}, {}},
      {"Hg", 2.00, {2, 1}, {}},
      {"Tl", 1.62, {1, 3}, {}},
      {"Pb", 2.33, {2, 4}, {}},
      {"Bi", 2.02, {3}, {5}},
      {"Th", 1.30, {4}, {}},
      {"U", 1.38, {6, 4}, {5}},
      {"Np", 1.36, {5}, {}},
      {"Pu", 1.28, {4}, {}},
  };
  return elements;
}

} // namespace

const ElementStates* elementStates(const std::string& element) {
  for (const ElementStates& e : table())
    if (e.symbol == element) return &e;
  return nullptr;
}

int stateRank(const ElementStates& element, int state) {
  const auto common = std::find(element.common.begin(), element.common.end(), state);
  if (common != element.common.end()) return static_cast<int>(common - element.common.begin());
  const auto rarer = std::find(element.rarer.begin(), element.rarer.end(), state);
  if (rarer != element.rarer.end())
    return static_cast<int>(element.common.size() + 1 + (rarer - element.rarer.begin()));
  return -1;
}

} // namespace telva
