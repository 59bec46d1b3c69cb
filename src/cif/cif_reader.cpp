#include "cif/cif_reader.hpp"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>
#include <fstream>
#include <set>
#include <sstream>

#include <gemmi/cif.hpp>
#include <gemmi/elem.hpp>
#include <gemmi/numb.hpp>
#include <gemmi/smcif.hpp>
#include <gemmi/symmetry.hpp>
#include <gemmi/unitcell.hpp>

#include "cif/symmetry.hpp"

namespace telva {

namespace {

namespace cif = gemmi::cif;

const char* const symopTags[] = {"_space_group_symop_operation_xyz", "_symmetry_equiv_pos_as_xyz"};
const char* const hallTags[] = {"_space_group_name_Hall", "_symmetry_space_group_name_Hall"};
const char* const hmTags[] = {"_space_group_name_H-M_alt", "_symmetry_space_group_name_H-M"};

// The text as a document; repeated tags are left for the block's own check.
cif::Document parse(const std::string& text, const std::string& name) {
  try {
    cif::Document doc;
    tao::pegtl::memory_input<> in(text.data(), text.size(), name);
    doc.source = name;
    cif::parse_input(doc, in);
    cif::check_for_missing_values(doc);
    return doc;
  } catch (const std::exception& e) {
    throw CifError(std::string("not a readable CIF: ") + e.what());
  }
}

bool holdsStructure(cif::Block& block) {
  return static_cast<bool>(block.find_values("_atom_site_fract_x"));
}

std::string structureBlockNames(cif::Document& doc) {
  std::string names;
  for (cif::Block& block : doc.blocks)
    if (holdsStructure(block)) names += (names.empty() ? "" : ", ") + block.name;
  return names.empty() ? "none" : names;
}

// The block named `name` (any case), else the only block that lists atom sites.
cif::Block& atomBlock(cif::Document& doc, const std::string& name) {
  if (!name.empty()) {
    for (cif::Block& block : doc.blocks)
      if (gemmi::iequal(block.name, gemmi::to_lower(name))) {
        if (!holdsStructure(block))
          throw CifError("data block " + block.name +
                         " lists no atom sites with fractional coordinates; the blocks that do: " +
                         structureBlockNames(doc));
        return block;
      }
    throw CifError("no data block is named " + name +
                   "; the blocks that list atom sites: " + structureBlockNames(doc));
  }
  cif::Block* found = nullptr;
  int count = 0;
  for (cif::Block& block : doc.blocks)
    if (holdsStructure(block)) {
      if (!found) found = &block;
      ++count;
    }
  if (!found)
    throw CifError("no data block lists atom sites with fractional coordinates "
                   "(_atom_site_fract_x)");
  if (count > 1)
    throw CifError("the CIF holds " + std::to_string(count) + " structures (data blocks " +
                   structureBlockNames(doc) + "); choose one with --block NAME");
  return *found;
}

// Tags whose value shapes the structure: a repeat of one is an error, since
// either value could be the right one. A repeat of any other tag is a warning
// and the first value is kept.
bool shapesStructure(const std::string& tag) {
  static const char* const prefixes[] = {"_cell_length_",
                                         "_cell_angle_",
                                         "_atom_site_label",
                                         "_atom_site_type_symbol",
                                         "_atom_site_fract_",
                                         "_atom_site_occupancy",
                                         "_atom_type_symbol",
                                         "_atom_type_oxidation_number",
                                         "_space_group_symop_operation_xyz",
                                         "_symmetry_equiv_pos_as_xyz",
                                         "_space_group_name_",
                                         "_symmetry_space_group_name_"};
  for (const char* prefix : prefixes)
    if (gemmi::istarts_with(tag, prefix)) return true;
  return false;
}

void dropRepeatedTags(cif::Block& block, std::vector<std::string>& warnings) {
  std::set<std::string> seen;
  int renamed = 0;
  auto repeated = [&](const std::string& tag) {
    if (seen.insert(gemmi::to_lower(tag)).second) return false;
    if (shapesStructure(tag))
      throw CifError("the tag " + tag + " appears more than once in data block " + block.name +
                     "; keep the one that is right and delete the others");
    warnings.push_back("the tag " + tag + " appears more than once in data block " + block.name +
                       "; the first value is kept");
    return true;
  };
  for (cif::Item& item : block.items) {
    if (item.type == cif::ItemType::Pair) {
      if (repeated(item.pair[0])) item.erase();
    } else if (item.type == cif::ItemType::Loop) {
      for (std::string& tag : item.loop.tags)
        if (repeated(tag)) tag = "_telva_repeated_tag_" + std::to_string(++renamed);
    }
  }
}

std::string textValue(cif::Block& block, const std::string& tag) {
  const std::string* value = block.find_value(tag);
  if (!value || cif::is_null(*value)) return {};
  return cif::as_string(*value);
}

double cellValue(cif::Block& block, const std::string& tag) {
  const std::string* value = block.find_value(tag);
  if (!value || cif::is_null(*value)) throw CifError("the CIF gives no " + tag);
  const double v = cif::as_number(*value);
  if (!std::isfinite(v)) throw CifError(tag + " is not a number: " + *value);
  return v;
}

MatrixOp fromLibraryOp(const gemmi::Op& op) {
  MatrixOp out;
  for (int i = 0; i < 3; ++i) {
    for (int j = 0; j < 3; ++j)
      out.rotation[i][j] = op.rot[i][j] / gemmi::Op::DEN;
    out.translation[i] = op.tran[i] * translationDenominator / gemmi::Op::DEN;
  }
  out.text = op.triplet();
  return out;
}

// The group from its symbol: the Hall symbol names the setting exactly; the
// Hermann-Mauguin symbol only when it names a standard setting.
std::vector<MatrixOp> operationsFromSymbols(cif::Block& block, const std::array<double, 6>& cell,
                                            std::string& source) {
  std::optional<gemmi::GroupOps> group;
  for (const char* tag : hallTags) {
    const std::string hall = textValue(block, tag);
    if (hall.empty()) continue;
    try {
      group = gemmi::symops_from_hall(hall.c_str());
    } catch (const std::exception& e) {
      throw CifError("the Hall symbol '" + hall + "' (" + tag + ") cannot be read: " + e.what());
    }
    source = std::string(tag) + " '" + hall + "'";
    break;
  }
  if (!group)
    for (const char* tag : hmTags) {
      const std::string hm = textValue(block, tag);
      if (hm.empty()) continue;
      const gemmi::SpaceGroup* sg = gemmi::find_spacegroup_by_name(hm, cell[3], cell[5]);
      if (!sg)
        throw CifError("the space-group symbol '" + hm + "' (" + tag +
                       ") names no standard setting, and the CIF lists no symmetry operations "
                       "(_space_group_symop_operation_xyz)");
      group = sg->operations();
      source = std::string(tag) + " '" + hm + "'";
      break;
    }
  if (!group)
    throw CifError("the CIF gives no symmetry: no _space_group_symop_operation_xyz or "
                   "_symmetry_equiv_pos_as_xyz loop, no Hall and no Hermann-Mauguin symbol");
  std::vector<MatrixOp> ops;
  for (const gemmi::Op& op : *group)
    ops.push_back(fromLibraryOp(op));
  return ops;
}

std::string elementName(const std::string& letters) {
  const gemmi::El el = gemmi::find_element(letters.c_str());
  return el == gemmi::El::X ? std::string() : gemmi::Element(el).name();
}

// A type symbol names an element only as the symbol itself, optionally
// followed by a charge or a number ("Fe", "Fe3+", "O2-", "O-2", "Fe1"); any
// other letters (OH, OH2, Wat, Ow) make it a pseudo-atom of unknown element.
std::string elementOfTypeSymbol(const std::string& typeSymbol) {
  std::size_t n = 0;
  while (n < typeSymbol.size() && std::isalpha(static_cast<unsigned char>(typeSymbol[n])))
    ++n;
  if (n == 0 || n > 2) return {};
  for (std::size_t i = n; i < typeSymbol.size(); ++i)
    if (!std::strchr("0123456789.+-", typeSymbol[i])) return {};
  return elementName(typeSymbol.substr(0, n));
}

// Without a type symbol, the label's leading letters, read as the field reads
// them: a run of one or two letters as before ("Ca1", "Fe2a", "CL1"; else for
// two letters the first: "Oa", "OW"); a longer run by the longest element
// symbol that starts it, two letters when the second is lower case ("CaM1",
// "Sia", "ClX", "NiO", "Ala" as Al), else one ("Hwa" as H: no element "Hw";
// "WatOW" as W). The readings in the order tried, the first the one taken
// unless the formula says otherwise (see labelElements).
std::vector<std::string> labelReadings(const std::string& label) {
  std::size_t n = 0;
  while (n < label.size() && std::isalpha(static_cast<unsigned char>(label[n])))
    ++n;
  std::vector<std::string> readings;
  auto add = [&](const std::string& element) {
    if (!element.empty() && std::find(readings.begin(), readings.end(), element) == readings.end())
      readings.push_back(element);
  };
  if (n == 0) return readings;
  const bool lowerSecond = n >= 2 && std::islower(static_cast<unsigned char>(label[1]));
  if (n == 2 || lowerSecond) add(elementName(label.substr(0, 2)));
  add(elementName(label.substr(0, 1)));
  // An upper-case second letter of a longer run may still start a two-letter
  // symbol ("CAM1"): tried last, so that only the formula can choose it.
  if (n > 2 && !lowerSecond) add(elementName(label.substr(0, 2)));
  return readings;
}

// The elements of _chemical_formula_sum ("H2 Mg O", "Fe3 O4", "Ca0.5Na0.5
// Cl"): each symbol, a capital and an optional lower-case letter, as written.
// Empty when the formula is empty or holds a word that is no element.
std::set<std::string> formulaElements(const std::string& formula) {
  std::set<std::string> elements;
  for (std::size_t i = 0; i < formula.size();) {
    const unsigned char c = static_cast<unsigned char>(formula[i]);
    if (std::isspace(c) || std::isdigit(c) || c == '.' || c == '(' || c == ')') {
      ++i;
      continue;
    }
    if (!std::isupper(c)) return {};
    std::size_t n = 1;
    if (i + 1 < formula.size() && std::islower(static_cast<unsigned char>(formula[i + 1]))) n = 2;
    const std::string symbol = formula.substr(i, n);
    if (elementName(symbol) != symbol) return {};
    elements.insert(symbol);
    i += n;
  }
  return elements;
}

// The elements of sites read from their labels, checked against the formula:
// the first reading the formula holds; none, and the site is a pseudo-atom,
// its note saying why. Every label whose letters say more than the element
// ("ClX", "OW") is reported.
void labelElements(CifCrystal& crystal, const std::vector<std::size_t>& fromLabels) {
  const std::set<std::string> inFormula = formulaElements(crystal.formulaSum);
  std::vector<std::string> read;
  for (std::size_t i : fromLabels) {
    CifSite& site = crystal.sites[i];
    const std::vector<std::string> readings = labelReadings(site.label);
    site.element = readings.empty() ? std::string() : readings.front();
    if (!inFormula.empty() && !readings.empty()) {
      site.element.clear();
      for (const std::string& element : readings)
        if (inFormula.count(element)) {
          site.element = element;
          break;
        }
      if (site.element.empty()) {
        const std::string why = "its label reads as " + readings.front() +
                                ", which _chemical_formula_sum '" + crystal.formulaSum +
                                "' does not hold";
        crystal.pseudoAtomNotes[i] = why;
        crystal.notes.push_back("site " + site.label + " is a pseudo-atom of no element: " + why);
        continue;
      }
    }
    std::size_t letters = 0;
    while (letters < site.label.size() &&
           std::isalpha(static_cast<unsigned char>(site.label[letters])))
      ++letters;
    if (!site.element.empty() && letters > site.element.size())
      read.push_back(site.label + " " + site.element);
  }
  if (!read.empty()) {
    std::string text;
    for (const std::string& r : read)
      text += (text.empty() ? "" : ", ") + r;
    crystal.notes.push_back("elements read from labels (no _atom_site_type_symbol): " + text);
  }
}

double coordinate(const std::string& raw, const std::string& label, const char* tag) {
  if (raw == ".") return 0; // inapplicable: the CIF's way of writing "none", read as 0
  if (raw == "?")
    throw CifError("site " + label + ": " + tag + " is unknown ('?'); the site needs a position");
  const double v = cif::as_number(raw);
  if (!std::isfinite(v)) throw CifError("site " + label + ": " + tag + " is not a number: " + raw);
  return v;
}

} // namespace

CifCrystal readCifText(const std::string& text, const std::string& name,
                       const std::string& blockName) {
  cif::Document doc = parse(text, name);
  cif::Block& block = atomBlock(doc, blockName);
  CifCrystal crystal;
  crystal.source = name;
  dropRepeatedTags(block, crystal.warnings);
  crystal.blockName = block.name;
  crystal.formulaSum = textValue(block, "_chemical_formula_sum");
  crystal.formula = crystal.formulaSum;
  if (crystal.formula.empty()) crystal.formula = textValue(block, "_chemical_formula_structural");
  if (const std::string* z = block.find_value("_cell_formula_units_Z"); z && !cif::is_null(*z)) {
    const double v = cif::as_number(*z);
    if (std::isfinite(v) && v > 0) crystal.formulaUnitsZ = v;
  }
  const char* cellTags[] = {"_cell_length_a",    "_cell_length_b",   "_cell_length_c",
                            "_cell_angle_alpha", "_cell_angle_beta", "_cell_angle_gamma"};
  for (int i = 0; i < 6; ++i)
    crystal.cell[i] = cellValue(block, cellTags[i]);

  for (const char* tag : symopTags) {
    cif::Column column = block.find_values(tag);
    if (!column || column.length() == 0) continue;
    for (const std::string& raw : column)
      crystal.operations.push_back(parseTriplet(cif::as_string(raw)));
    crystal.operationsSource = tag;
    break;
  }
  if (crystal.operations.empty())
    crystal.operations = operationsFromSymbols(block, crystal.cell, crystal.operationsSource);

  cif::Table sites = block.find("_atom_site_", {"label", "?type_symbol", "fract_x", "fract_y",
                                                "fract_z", "?occupancy", "?calc_flag"});
  if (!sites.ok())
    throw CifError("the atom-site loop needs _atom_site_label and _atom_site_fract_x, _y, _z");
  std::vector<std::size_t> fromLabels;
  std::string dummies;
  for (auto row : sites) {
    CifSite site;
    site.label = cif::as_string(row[0]);
    // _atom_site_calc_flag dum marks a dummy site, no atom (CIF core dictionary).
    if (row.has2(6) && gemmi::iequal(cif::as_string(row[6]), "dum")) {
      dummies += (dummies.empty() ? "" : ", ") + site.label;
      continue;
    }
    if (row.has2(1)) {
      site.typeSymbol = cif::as_string(row[1]);
      site.element = elementOfTypeSymbol(site.typeSymbol);
    } else {
      site.typeSymbol = site.label;
      fromLabels.push_back(crystal.sites.size());
    }
    site.x = coordinate(row[2], site.label, "_atom_site_fract_x");
    site.y = coordinate(row[3], site.label, "_atom_site_fract_y");
    site.z = coordinate(row[4], site.label, "_atom_site_fract_z");
    if (row.has2(5)) {
      site.occupancy = cif::as_number(row[5]);
      if (!std::isfinite(site.occupancy))
        throw CifError("site " + site.label + ": _atom_site_occupancy is not a number: " + row[5]);
    }
    crystal.sites.push_back(site);
  }
  if (!dummies.empty())
    crystal.notes.push_back("dummy sites (_atom_site_calc_flag dum), no atoms, left out: " +
                            dummies);
  labelElements(crystal, fromLabels);

  for (auto row : block.find("_atom_type_", {"symbol", "oxidation_number"})) {
    if (!row.has2(1)) continue;
    const double z = cif::as_number(row[1]);
    if (!std::isfinite(z))
      throw CifError("_atom_type_oxidation_number of " + cif::as_string(row[0]) +
                     " is not a number: " + row[1]);
    crystal.oxidationNumbers[cif::as_string(row[0])] = z;
  }
  return crystal;
}

CifCrystal readCifFile(const std::string& path, const std::string& blockName) {
  std::ifstream file(path, std::ios::binary);
  if (!file) throw CifError("cannot open " + path);
  std::ostringstream content;
  content << file.rdbuf();
  if (file.bad()) throw CifError("cannot read " + path);
  return readCifText(content.str(), path, blockName);
}

std::vector<ExpandedAtom> libraryCellExpansion(const std::string& text, const std::string& name) {
  cif::Document doc = parse(text, name);
  cif::Block& block = atomBlock(doc, "");
  gemmi::SmallStructure st = gemmi::make_small_structure_from_block(block);
  std::vector<gemmi::Op> ops;
  for (const char* tag : symopTags) {
    cif::Column column = block.find_values(tag);
    if (!column || column.length() == 0) continue;
    for (const std::string& raw : column)
      ops.push_back(gemmi::parse_triplet(cif::as_string(raw)));
    break;
  }
  if (ops.empty()) {
    const gemmi::SpaceGroup* sg = st.find_spacegroup();
    if (!sg) throw CifError("no symmetry the library can read");
    for (const gemmi::Op& op : sg->operations())
      ops.push_back(op);
  }
  st.cell.images.clear();
  for (gemmi::Op op : ops) {
    op.wrap();
    if (op == gemmi::Op::identity()) continue;
    st.cell.images.push_back(
        gemmi::FTransform(gemmi::Transform{gemmi::rot_as_mat33(op), gemmi::tran_as_vec3(op)}));
  }
  std::vector<ExpandedAtom> atoms;
  for (const auto& site : st.get_all_unit_cell_sites()) {
    gemmi::Fractional f = site.fract.wrap_to_unit();
    atoms.push_back({site.label, f.x, f.y, f.z, site.occ});
  }
  return atoms;
}

} // namespace telva
