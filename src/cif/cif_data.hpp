// A crystal as a CIF describes it, in plain data: what the CIF reader hands to
// the conversion into a TELVA input, and what tests build by hand.
#pragma once

#include <array>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace telva {

// Any fault of the conversion: the message names what is wrong and, where the
// user can mend it, how.
struct CifError : std::runtime_error {
  using std::runtime_error::runtime_error;
  bool commandLine = false; // a wrong command line rather than a wrong CIF
  bool showUsage = true;    // the usage text follows (syntax errors of the command line)
};

inline CifError commandLineError(const std::string& text) {
  CifError e(text);
  e.commandLine = true;
  return e;
}

// Translations are held exactly, in 24ths of the cell edge: every centring,
// screw and glide component of the space groups (halves, thirds, quarters,
// sixths) is a whole number of 24ths, so that composition and comparison
// modulo lattice translations are exact.
inline constexpr int translationDenominator = 24;

// x' = R x + t: one symmetry operation of the space group.
struct MatrixOp {
  std::array<std::array<int, 3>, 3> rotation{}; // integer matrix, rows give x', y', z'
  std::array<int, 3> translation{};             // in 24ths, reduced into [0, 24)
  std::string text;                             // as the CIF wrote it, for messages

  bool operator==(const MatrixOp& other) const {
    return rotation == other.rotation && translation == other.translation;
  }
};

struct CifSite {
  std::string label;
  std::string typeSymbol; // _atom_site_type_symbol, or the label when absent
  // Element symbol in its usual case ("Fe"); empty when the type symbol is no
  // element (a pseudo-atom such as OH, OH2 or Wat), so that no charge is guessed.
  std::string element;
  double x = 0, y = 0, z = 0;
  double occupancy = 1;
};

struct CifCrystal {
  std::string source;                // the file's name, for messages and suggested command lines
  std::string program = "telva-cif"; // the program those command lines run
  std::string blockName;
  std::string formula;                 // _chemical_formula_sum, else _chemical_formula_structural
  std::string formulaSum;              // _chemical_formula_sum alone
  std::optional<double> formulaUnitsZ; // _cell_formula_units_Z
  std::array<double, 6> cell{};        // a, b, c in Angstrom; alpha, beta, gamma in degrees
  std::vector<MatrixOp> operations;
  std::string operationsSource; // the tag or symbol the operations came from
  std::vector<CifSite> sites;
  std::map<std::string, double> oxidationNumbers; // by _atom_type_symbol
  std::vector<std::string> warnings;              // what the reader let pass
  std::vector<std::string> notes;                 // what the reader chose (dummies, labels)
  // By index into `sites`: why a site read from its label is a pseudo-atom all
  // the same (the element its label reads as is not in the formula).
  std::map<std::size_t, std::string> pseudoAtomNotes;
};

} // namespace telva
