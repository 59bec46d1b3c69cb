// Reading a CIF: the one place that uses the crystallography library. Hands
// the rest of the program plain data (cif/cif_data.hpp).
#pragma once

#include <string>
#include <vector>

#include "cif/cif_data.hpp"

namespace telva {

// Reads the data block named `blockName` (any case), or without a name the one
// block that lists atom sites with fractional coordinates (several are an
// error listing them): name, formula, cell, symmetry operations (from the symmetry
// loop, else the Hall symbol, else the Hermann-Mauguin symbol), atom sites and
// oxidation numbers. `name` names the text in messages. A repeated tag that
// shapes the structure is an error, any other a warning (the first value is
// kept). CifError for text that is no CIF or lacks what a TELVA input needs.
CifCrystal readCifText(const std::string& text, const std::string& name,
                       const std::string& blockName = "");
CifCrystal readCifFile(const std::string& path, const std::string& blockName = "");

// The library's own expansion of the structure into the cell, each site's
// images merged within its special-position tolerance: for cross-checks.
struct ExpandedAtom {
  std::string label;
  double x = 0, y = 0, z = 0;
  double occupancy = 1;
};
std::vector<ExpandedAtom> libraryCellExpansion(const std::string& text, const std::string& name);

} // namespace telva
