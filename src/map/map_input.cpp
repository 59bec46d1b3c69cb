#include "map/map_input.hpp"

#include <cerrno>
#include <sys/stat.h>

#include "cif/cif_reader.hpp"
#include "listing/input_file.hpp"
#include "map/elements.hpp"
#include "map/map_fault.hpp"

namespace telva {

namespace {

std::string withoutTrailingBlanks(const std::string& text) {
  const std::size_t end = text.find_last_not_of(' ');
  return end == std::string::npos ? "" : text.substr(0, end + 1);
}

} // namespace

std::string cifHeading(const std::string& formula, const std::string& block) {
  const std::string blockText = "data block " + block;
  return formula.empty() ? blockText : formula + " (" + blockText + ")";
}

MapCrystal readInputFileCrystal(const std::string& path) {
  InputFile input(openInputFile(path), path);
  const InputHead head = readHeadQuietly(input);
  MapCrystal crystal;
  crystal.title = withoutTrailingBlanks(head.title);
  crystal.heading = crystal.title;
  crystal.radius = head.radius;
  crystal.range = head.range;
  crystal.crystal = {head.lattice, head.symOps, head.inversionAtOrigin != 0, head.sites};
  for (const Site& site : head.sites)
    crystal.elements.push_back(labelElement(site.label));
  return crystal;
}

MapCrystal readCifCrystal(const std::string& path, const ConversionOptions& options,
                          std::ostream& notes, bool sphereMethod) {
  Conversion conversion;
  try {
    conversion = convertCifFile(path, options);
  } catch (const CifError& e) {
    throw Fault{mapFaults::crystal, e.what()};
  }
  for (const std::string& note : conversion.notes)
    notes << "telva-map: " << note << '\n';
  if (sphereMethod)
    for (const std::string& note : conversion.sphereNotes)
      notes << "telva-map: " << note << '\n';
  for (const std::string& warning : conversion.warnings)
    notes << "telva-map: warning: " << warning << '\n';
  MapCrystal crystal;
  crystal.title = withoutTrailingBlanks(conversion.title);
  crystal.heading = cifHeading(conversion.formula, conversion.blockName);
  crystal.radius = conversion.radius;
  crystal.range = conversion.qmax;
  crystal.crystal = conversion.crystal;
  for (std::size_t i = 0; i < conversion.sites.size(); ++i) {
    const std::string& element =
        i < conversion.records.size() ? conversion.records[i].element : std::string();
    crystal.elements.push_back(element.empty() ? labelElement(conversion.sites[i].label) : element);
  }
  return crystal;
}

} // namespace telva
