#include "map/elements.hpp"

#include <array>
#include <cctype>

namespace telva {

namespace {

// Symbols in order of atomic number, 1 to 118.
constexpr std::array<const char*, 118> symbols = {
    "H",  "He", "Li", "Be", "B",  "C",  "N",  "O",  "F",  "Ne", "Na", "Mg", "Al", "Si", "P",
    "S",  "Cl", "Ar", "K",  "Ca", "Sc", "Ti", "V",  "Cr", "Mn", "Fe", "Co", "Ni", "Cu", "Zn",
    "Ga", "Ge", "As", "Se", "Br", "Kr", "Rb", "Sr", "Y",  "Zr", "Nb", "Mo", "Tc", "Ru", "Rh",
    "Pd", "Ag", "Cd", "In", "Sn", "Sb", "Te", "I",  "Xe", "Cs", "Ba", "La", "Ce", "Pr", "Nd",
    "Pm", "Sm", "Eu", "Gd", "Tb", "Dy", "Ho", "Er", "Tm", "Yb", "Lu", "Hf", "Ta", "W",  "Re",
    "Os", "Ir", "Pt", "Au", "Hg", "Tl", "Pb", "Bi", "Po", "At", "Rn", "Fr", "Ra", "Ac", "Th",
    "Pa", "U",  "Np", "Pu", "Am", "Cm", "Bk", "Cf", "Es", "Fm", "Md", "No", "Lr", "Rf", "Db",
    "Sg", "Bh", "Hs", "Mt", "Ds", "Rg", "Cn", "Nh", "Fl", "Mc", "Lv", "Ts", "Og"};

} // namespace

int atomicNumber(const std::string& symbol) {
  for (std::size_t i = 0; i < symbols.size(); ++i)
    if (symbol == symbols[i]) return static_cast<int>(i) + 1;
  return 0;
}

std::string labelElement(const std::string& label) {
  std::size_t start = label.find_first_not_of(' ');
  if (start == std::string::npos || !std::isalpha(static_cast<unsigned char>(label[start])))
    return "";
  std::string one(1, static_cast<char>(std::toupper(static_cast<unsigned char>(label[start]))));
  if (start + 1 < label.size() && std::isalpha(static_cast<unsigned char>(label[start + 1]))) {
    const std::string two =
        one + static_cast<char>(std::tolower(static_cast<unsigned char>(label[start + 1])));
    if (atomicNumber(two) != 0) return two;
  }
  return atomicNumber(one) != 0 ? one : "";
}

} // namespace telva
