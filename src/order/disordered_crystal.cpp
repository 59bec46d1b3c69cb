#include "order/disordered_crystal.hpp"

#include "cif/cif_reader.hpp"
#include "cif/symmetry.hpp"
#include "crystal/cell_geometry.hpp"

#include <algorithm>
#include <cmath>

namespace telva {

std::string DisorderedPosition::name() const {
  std::string text;
  for (const Species& s : species)
    text += (text.empty() ? "" : "/") + s.label;
  return text;
}

DisorderedCrystal disorderedCrystal(const CifCrystal& input, const ConversionOptions& options) {
  DisorderedCrystal out;
  out.source = input.source;
  out.blockName = input.blockName;
  out.cell = input.cell;
  out.warnings = input.warnings;
  CifCrystal crystal = input;
  crystal.program = "telva-order";
  crystal.sites = uniqueLabels(input.sites, out.notes);
  const std::size_t notesBefore = out.notes.size();
  const std::vector<double> charges = chargesOfSites(crystal, options, out.notes);
  out.chargesGuessed = options.guessCharges && out.notes.size() > notesBefore;
  out.group = normalisedGroup(crystal.operations);
  const std::vector<CellPosition> cellSites =
      cellPositions(crystal, charges, out.group, crystal.cell, out.notes);
  for (const CellPosition& c : cellSites) {
    DisorderedPosition p;
    p.point = c.point;
    p.images = c.images;
    for (std::size_t m : c.members) {
      const CifSite& s = crystal.sites[m];
      p.species.push_back({s.label, s.element, charges[m], s.occupancy, false});
    }
    if (c.occupancy < 1 - fullOccupancyTolerance)
      p.species.push_back({"vacancy", "", 0.0, 1 - c.occupancy, true});
    out.positions.push_back(std::move(p));
  }
  return out;
}

DisorderedCrystal readDisorderedCif(const std::string& path, const ConversionOptions& options) {
  try {
    return disorderedCrystal(readCifFile(path, options.block), options);
  } catch (const CifError& e) {
    CifError located(path + ": " + e.what());
    located.commandLine = e.commandLine;
    throw located;
  }
}

} // namespace telva

namespace telva {

DisorderedCrystal disorderedCrystal(const std::array<double, 6>& cell,
                                    const std::vector<std::string>& operations,
                                    const std::vector<std::vector<SpeciesAt>>& positions) {
  DisorderedCrystal out;
  out.source = "(arrays)";
  out.cell = cell;
  if (!describesCell(cell)) throw CifError("the lattice parameters describe no cell");
  std::vector<MatrixOp> ops;
  for (const std::string& text : operations)
    ops.push_back(parseTriplet(text));
  // The group the operations generate (a caller may give generators only).
  ops.insert(ops.begin(), identityOp());
  for (std::size_t i = 0; i < ops.size(); ++i)
    for (std::size_t j = 0; j <= i; ++j)
      for (const MatrixOp& product : {compose(ops[i], ops[j]), compose(ops[j], ops[i])})
        if (std::find(ops.begin(), ops.end(), product) == ops.end()) {
          if (ops.size() >= 1536) throw CifError("the operations generate no finite group");
          ops.push_back(product);
        }
  out.group = normalisedGroup(ops);
  const CellGeometry geometry = buildCellGeometry(cell, 0);
  for (const std::vector<SpeciesAt>& given : positions) {
    if (given.empty()) throw CifError("a position without species");
    DisorderedPosition p;
    p.point = given.front().point;
    p.images = distinctImages(out.group, p.point, geometry, samePointToleranceA);
    double total = 0;
    for (const SpeciesAt& s : given) {
      if (!(s.occupancy > 0) || s.occupancy > 1 + fullOccupancyTolerance)
        throw CifError("species " + s.label + " has the occupancy " + std::to_string(s.occupancy) +
                       ", outside (0, 1]");
      if (!std::isfinite(s.charge)) throw CifError("species " + s.label + " has no finite charge");
      total += s.occupancy;
      p.species.push_back({s.label, s.element, s.charge, s.occupancy, false});
    }
    if (total > 1 + fullOccupancyTolerance)
      throw CifError("the occupancies at the position of " + given.front().label + " add up to " +
                     std::to_string(total) + ", more than 1");
    if (total < 1 - fullOccupancyTolerance)
      p.species.push_back({"vacancy", "", 0.0, 1 - total, true});
    out.positions.push_back(std::move(p));
  }
  if (out.positions.empty()) throw CifError("no positions");
  return out;
}

} // namespace telva
