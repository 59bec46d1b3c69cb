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

// Opens the input as telva does: a path that does not exist is "file not
// found", one that cannot be read (a folder, no permission) an open failure.
std::FILE* openInput(const std::string& path) {
  struct stat status;
  if (stat(path.c_str(), &status) != 0) {
    if (errno == ENOENT || errno == ENOTDIR)
      throw Fault{faults::fileNotFound, unitText("file not found", inputUnit, path)};
    throw Fault{faults::openFailure, unitText("open failure", inputUnit, path)};
  }
  std::FILE* stream = S_ISDIR(status.st_mode) ? nullptr : std::fopen(path.c_str(), "rb");
  if (!stream) throw Fault{faults::openFailure, unitText("open failure", inputUnit, path)};
  return stream;
}

} // namespace

MapCrystal readInputFileCrystal(const std::string& path) {
  InputFile input(openInput(path), path);
  // The head's echo is not wanted; it goes where telva's listing would.
  std::FILE* sink = std::fopen("/dev/null", "wb");
  if (!sink) throw Fault{faults::openFailure, unitText("open failure", listingUnit, "/dev/null")};
  Listing listing(sink, "/dev/null");
  const InputHead head = readHead(input, listing);
  checkHeadValues(head, path);
  MapCrystal crystal;
  crystal.title = withoutTrailingBlanks(head.title);
  crystal.radius = head.radius;
  crystal.range = head.range;
  crystal.crystal = {head.lattice, head.symOps, head.inversionAtOrigin != 0, head.sites};
  for (const Site& site : head.sites)
    crystal.elements.push_back(labelElement(site.label));
  return crystal;
}

MapCrystal readCifCrystal(const std::string& path, const ConversionOptions& options,
                          std::ostream& notes) {
  Conversion conversion;
  try {
    conversion = convertCifFile(path, options);
  } catch (const CifError& e) {
    throw Fault{mapFaults::crystal, e.what()};
  }
  for (const std::string& note : conversion.notes)
    notes << "telva-map: " << note << '\n';
  for (const std::string& warning : conversion.warnings)
    notes << "telva-map: warning: " << warning << '\n';
  MapCrystal crystal;
  crystal.title = withoutTrailingBlanks(conversion.title);
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
