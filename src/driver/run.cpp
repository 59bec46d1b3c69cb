#include "driver/run.hpp"

#include <cerrno>
#include <iostream>
#include <new>
#include <optional>
#include <sys/stat.h>

#include "crystal/cell_geometry.hpp"
#include "driver/capacities.hpp"
#include "driver/fault.hpp"
#include "driver/input_file.hpp"
#include "driver/record_files.hpp"
#include "electrostatics/fast_coefficient_table.hpp"
#include "electrostatics/positions.hpp"
#include "electrostatics/site_potentials.hpp"

namespace telva {

namespace {

const Layout banner = {literal(" ********************************"), recordEnd(),
                       literal(" *            TELVA             *"), recordEnd(),
                       literal(" *   Electrostatic potentials   *"), recordEnd(),
                       literal(" *   and energies of crystals   *"), recordEnd(),
                       literal(" ********************************"), recordEnd()};

std::string trimmed(const std::string& text, bool leading) {
  const std::size_t end = text.find_last_not_of(' ');
  if (end == std::string::npos) return "";
  const std::size_t begin = leading ? text.find_first_not_of(' ') : 0;
  return text.substr(begin, end + 1 - begin);
}

// The path of a unit: the argument without its trailing blanks, or, when it
// is absent or blank, the answer to a prompt on standard input.
std::string unitPath(const std::vector<std::string>& args, std::size_t index, int unit,
                     std::istream& in, std::ostream& out) {
  if (index < args.size()) {
    std::string path = trimmed(args[index], false);
    if (!path.empty()) return path;
  }
  while (true) {
    out << "File name missing or blank - please enter file name\n"
        << "UNIT " << unit << "? " << std::flush;
    std::string answer;
    if (!std::getline(in, answer))
      throw Fault{faults::endOfFile, unitText("end-of-file during read", unit, "stdin")};
    if (!answer.empty() && answer.back() == '\r') answer.pop_back();
    std::string path = trimmed(answer, true);
    if (!path.empty()) return path;
  }
}

std::FILE* openInput(const std::string& path, struct stat& status) {
  if (stat(path.c_str(), &status) != 0) {
    if (errno == ENOENT || errno == ENOTDIR)
      throw Fault{faults::fileNotFound, unitText("file not found", inputUnit, path)};
    throw Fault{faults::openFailure, unitText("open failure", inputUnit, path)};
  }
  std::FILE* stream = S_ISDIR(status.st_mode) ? nullptr : std::fopen(path.c_str(), "rb");
  if (!stream) throw Fault{faults::openFailure, unitText("open failure", inputUnit, path)};
  return stream;
}

std::FILE* openListing(const std::string& path, const struct stat& input) {
  struct stat existing;
  if (stat(path.c_str(), &existing) == 0 && existing.st_dev == input.st_dev &&
      existing.st_ino == input.st_ino)
    throw Fault{faults::listingIsInput,
                unitText("listing file would replace the input file", listingUnit, path)};
  std::FILE* stream = std::fopen(path.c_str(), "wb");
  if (!stream) throw Fault{faults::openFailure, unitText("open failure", listingUnit, path)};
  return stream;
}

// Exit status of the run stopped because the table would not fit.
constexpr int capacityStop = 1;

// The phases of the computation, each once and in order.
int runPhases(InputFile& input, Listing& listing) {
  listing.write(banner);
  const InputHead head = readHead(input, listing);
  checkHeadValues(head, input.path());

  const CellGeometry geometry = buildCellGeometry(head.lattice, head.range);
  writeRequiredMemory(listing, geometry);
  if (geometry.requiredEntries > tableCapacity) return capacityStop;

  const CoefficientTable table = buildCoefficientTableFast(
      {geometry, head.radius, head.range, head.inversionAtOrigin, head.symOps, head.sites});
  listSitePotentials(table, geometry.volume, head.radius, head.sites, listing);

  if (probeForPositions(input))
    listPositions({table, geometry, head.radius, head.inversionAtOrigin, head.symOps, head.sites},
                  input, listing);
  return 0;
}

} // namespace

int run(const std::vector<std::string>& args, std::istream& in, std::ostream& out,
        std::ostream& err) {
  std::optional<InputFile> input;
  std::optional<Listing> listing;
  // Closes the listing with every line written so far and tells the fault.
  auto report = [&](const Fault& fault) {
    listing.reset();
    err << "telva: severe (" << fault.number << "): " << fault.text << '\n';
    return fault.number;
  };
  try {
    const std::string inputPath = unitPath(args, 0, inputUnit, in, out);
    struct stat inputStatus;
    input.emplace(openInput(inputPath, inputStatus), inputPath);
    const std::string listingPath = unitPath(args, 1, listingUnit, in, out);
    listing.emplace(openListing(listingPath, inputStatus), listingPath);

    const int status = runPhases(*input, *listing);
    listing->close();
    if (status == capacityStop) err << "1\n";
    return status;
  } catch (const Fault& fault) {
    return report(fault);
  } catch (const std::bad_alloc&) {
    return report({faults::outOfMemory, "insufficient memory"});
  }
}

} // namespace telva
