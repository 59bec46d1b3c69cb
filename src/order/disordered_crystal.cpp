#include "order/disordered_crystal.hpp"

#include "cif/cif_reader.hpp"
#include "cif/symmetry.hpp"

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
    if (e.commandLine) throw;
    throw CifError(path + ": " + e.what());
  }
}

} // namespace telva
