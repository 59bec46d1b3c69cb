#include "cif/charge_guess.hpp"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string_view>

#include "cif/cif_data.hpp"

namespace telva {

namespace {

struct ElementStates {
  std::string_view symbol;
  double electronegativity; // Pauling scale
  std::vector<int> states;  // common oxidation states, the most common first
};

// Pauling electronegativities (CRC Handbook of Chemistry and Physics)
// and the common oxidation states of the elements (Greenwood & Earnshaw,
// Chemistry of the Elements, 2nd ed.).
const std::vector<ElementStates>& table() {
  static const std::vector<ElementStates> elements = {
      {"H", 2.20, {1, -1}},       {"Li", 0.98, {1}},          {"Be", 1.57, {2}},
      {"B", 2.04, {3}},           {"C", 2.55, {4, -4}},       {"N", 3.04, {-3, 3, 5}},
      {"O", 3.44, {-2}},          {"F", 3.98, {-1}},          {"Na", 0.93, {1}},
      {"Mg", 1.31, {2}},          {"Al", 1.61, {3}},          {"Si", 1.90, {4, -4}},
      {"P", 2.19, {5, 3, -3}},    {"S", 2.58, {-2, 6, 4, 2}}, {"Cl", 3.16, {-1, 7, 5, 3, 1}},
      {"K", 0.82, {1}},           {"Ca", 1.00, {2}},          {"Sc", 1.36, {3}},
      {"Ti", 1.54, {4, 3}},       {"V", 1.63, {5, 4, 3}},     {"Cr", 1.66, {3, 6}},
      {"Mn", 1.55, {2, 4, 3, 7}}, {"Fe", 1.83, {3, 2}},       {"Co", 1.88, {2, 3}},
      {"Ni", 1.91, {2}},          {"Cu", 1.90, {2, 1}},       {"Zn", 1.65, {2}},
      {"Ga", 1.81, {3}},          {"Ge", 2.01, {4, 2, -4}},   {"As", 2.18, {5, 3, -3}},
      {"Se", 2.55, {-2, 4, 6}},   {"Br", 2.96, {-1, 5, 1}},   {"Rb", 0.82, {1}},
      {"Sr", 0.95, {2}},          {"Y", 1.22, {3}},           {"Zr", 1.33, {4}},
      {"Nb", 1.60, {5}},          {"Mo", 2.16, {6, 4}},       {"Tc", 1.90, {7, 4}},
      {"Ru", 2.20, {4, 3}},       {"Rh", 2.28, {3}},          {"Pd", 2.20, {2, 4}},
      {"Ag", 1.93, {1}},          {"Cd", 1.69, {2}},          {"In", 1.78, {3}},
      {"Sn", 1.96, {4, 2, -4}},   {"Sb", 2.05, {3, 5, -3}},   {"Te", 2.10, {-2, 4, 6}},
      {"I", 2.66, {-1, 5, 7, 1}}, {"Cs", 0.79, {1}},          {"Ba", 0.89, {2}},
      {"La", 1.10, {3}},          {"Ce", 1.12, {3, 4}},       {"Pr", 1.13, {3}},
      {"Nd", 1.14, {3}},          {"Pm", 1.13, {3}},          {"Sm", 1.17, {3}},
      {"Eu", 1.20, {3, 2}},       {"Gd", 1.20, {3}},          {"Tb", 1.10, {3}},
      {"Dy", 1.22, {3}},          {"Ho", 1.23, {3}},          {"Er", 1.24, {3}},
      {"Tm", 1.25, {3}},          {"Yb", 1.10, {3}},          {"Lu", 1.27, {3}},
      {"Hf", 1.30, {4}},          {"Ta", 1.50, {5}},          {"W", 2.36, {6, 4}},
      {"Re", 1.90, {7, 4}},       {"Os", 2.20, {4}},          {"Ir", 2.20, {4, 3}},
      {"Pt", 2.28, {4, 2}},       {"Au", 2.54, {3, 1}},       {"Hg", 2.00, {2, 1}},
      {"Tl", 1.62, {1, 3}},       {"Pb", 2.33, {2, 4}},       {"Bi", 2.02, {3}},
      {"Th", 1.30, {4}},          {"U", 1.38, {6, 4}},        {"Np", 1.36, {5}},
      {"Pu", 1.28, {4}},
  };
  return elements;
}

const ElementStates* find(const std::string& element) {
  for (const ElementStates& e : table())
    if (e.symbol == element) return &e;
  return nullptr;
}

std::string signedText(int state) {
  return (state > 0 ? "+" : "") + std::to_string(state);
}

std::string assignmentText(const std::vector<std::pair<std::string, double>>& amounts,
                           const std::vector<int>& states) {
  std::string out;
  for (std::size_t i = 0; i < amounts.size(); ++i)
    out += (i ? " " : "") + amounts[i].first + signedText(states[i]);
  return out;
}

} // namespace

std::vector<int> commonOxidationStates(const std::string& element) {
  const ElementStates* e = find(element);
  return e ? e->states : std::vector<int>{};
}

std::vector<std::pair<std::string, int>>
guessCharges(const std::vector<std::pair<std::string, double>>& amounts, double fixedCharge) {
  std::vector<const ElementStates*> elements;
  std::int64_t combinations = 1;
  for (const auto& [symbol, amount] : amounts) {
    const ElementStates* e = find(symbol);
    if (!e)
      throw CifError("--guess-charges knows no oxidation states of " + symbol +
                     "; give its charge with --charge " + symbol + "=Z");
    elements.push_back(e);
    combinations *= static_cast<std::int64_t>(e->states.size());
  }
  if (combinations > 5'000'000)
    throw CifError("--guess-charges: too many elements to try every combination of their "
                   "oxidation states; give some charges with --charge");

  // Every combination, as an odometer over the states' ranks.
  std::vector<std::size_t> rank(elements.size(), 0);
  int bestScore = -1;
  std::vector<std::vector<int>> best;
  for (std::int64_t n = 0; n < combinations; ++n) {
    double net = fixedCharge;
    int score = 0;
    double mostPositive = -1, leastNegative = 1e9;
    std::vector<int> states;
    for (std::size_t i = 0; i < elements.size(); ++i) {
      const int state = elements[i]->states[rank[i]];
      states.push_back(state);
      net += amounts[i].second * state;
      score += static_cast<int>(rank[i]);
      if (state > 0) mostPositive = std::max(mostPositive, elements[i]->electronegativity);
      if (state < 0) leastNegative = std::min(leastNegative, elements[i]->electronegativity);
    }
    if (std::abs(net) <= 1e-3 && mostPositive < leastNegative) {
      if (bestScore < 0 || score < bestScore) {
        bestScore = score;
        best = {states};
      } else if (score == bestScore) {
        best.push_back(states);
      }
    }
    for (std::size_t i = 0; i < rank.size(); ++i) {
      if (++rank[i] < elements[i]->states.size()) break;
      rank[i] = 0;
    }
  }
  std::string names;
  for (std::size_t i = 0; i < amounts.size(); ++i)
    names += (i ? ", " : "") + amounts[i].first;
  if (best.empty())
    throw CifError("--guess-charges: no combination of the common oxidation states of " + names +
                   " makes the cell neutral (mixed valence?); give the charges with --charge, "
                   "by label where one element has two");
  if (best.size() > 1)
    throw CifError("--guess-charges: two assignments are equally likely, " +
                   assignmentText(amounts, best[0]) + " and " + assignmentText(amounts, best[1]) +
                   "; give the charges with --charge");
  std::vector<std::pair<std::string, int>> out;
  for (std::size_t i = 0; i < amounts.size(); ++i)
    out.push_back({amounts[i].first, best[0][i]});
  return out;
}

} // namespace telva
