#include "cif/cif_reader.hpp"

#include <cmath>
#include <fstream>
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

cif::Document parse(const std::string& text, const std::string& name) {
  try {
    return cif::read_memory(text.data(), text.size(), name.c_str());
  } catch (const std::exception& e) {
    throw CifError(std::string("not a readable CIF: ") + e.what());
  }
}

cif::Block& atomBlock(cif::Document& doc) {
  for (cif::Block& block : doc.blocks)
    if (block.find_values("_atom_site_fract_x")) return block;
  throw CifError("no data block lists atom sites with fractional coordinates "
                 "(_atom_site_fract_x)");
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

std::string elementOf(const std::string& typeSymbol) {
  std::string letters;
  for (char c : typeSymbol) {
    if (!std::isalpha(static_cast<unsigned char>(c)) || letters.size() == 2) break;
    letters += c;
  }
  if (letters.empty()) return {};
  gemmi::El el = gemmi::find_element(letters.c_str());
  if (el == gemmi::El::X && letters.size() == 2)
    el = gemmi::find_element(letters.substr(0, 1).c_str());
  return el == gemmi::El::X ? std::string() : gemmi::Element(el).name();
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

CifCrystal readCifText(const std::string& text, const std::string& name) {
  cif::Document doc = parse(text, name);
  cif::Block& block = atomBlock(doc);
  CifCrystal crystal;
  crystal.blockName = block.name;
  crystal.formula = textValue(block, "_chemical_formula_sum");
  if (crystal.formula.empty()) crystal.formula = textValue(block, "_chemical_formula_structural");
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

  cif::Table sites = block.find(
      "_atom_site_", {"label", "?type_symbol", "fract_x", "fract_y", "fract_z", "?occupancy"});
  if (!sites.ok())
    throw CifError("the atom-site loop needs _atom_site_label and _atom_site_fract_x, _y, _z");
  for (auto row : sites) {
    CifSite site;
    site.label = cif::as_string(row[0]);
    site.typeSymbol = row.has2(1) ? cif::as_string(row[1]) : site.label;
    site.element = elementOf(site.typeSymbol);
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

CifCrystal readCifFile(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  if (!file) throw CifError("cannot open " + path);
  std::ostringstream content;
  content << file.rdbuf();
  if (file.bad()) throw CifError("cannot read " + path);
  return readCifText(content.str(), path);
}

std::vector<ExpandedAtom> libraryCellExpansion(const std::string& text, const std::string& name) {
  cif::Document doc = parse(text, name);
  cif::Block& block = atomBlock(doc);
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
