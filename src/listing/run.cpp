#include "listing/run.hpp"

#include <cerrno>
#include <cmath>
#include <exception>
#include <fcntl.h>
#include <iostream>
#include <new>
#include <sys/stat.h>
#include <unistd.h>

#include "base/capacities.hpp"
#include "base/fault.hpp"
#include "crystal/cell_geometry.hpp"
#include "electrostatics/site_potentials.hpp"
#include "electrostatics/table_build.hpp"
#include "listing/input_file.hpp"
#include "listing/sections.hpp"
#include "records/record_files.hpp"

namespace telva {

namespace {

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

// A standard descriptor (0, 1, 2) that the program was started without would
// be the next one a file opens: the input would be read again as the answer
// to a prompt, the diagnostics written into the listing. Each closed one is
// held by /dev/null instead, which reads as an empty file and takes all
// writes.
void holdStandardDescriptors() {
  for (int fd = 0; fd <= 2; ++fd) {
    if (fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
    const int held = open("/dev/null", O_RDWR);
    if (held >= 0 && held != fd) {
      dup2(held, fd);
      close(held);
    }
  }
}

// Exit status of the run stopped because the table would not fit.
constexpr int capacityStop = 1;

// Ends the run when a computed value is not a number that means anything. Its
// line has been listed; the run stops after it rather than end normally with
// a result that came from an overflow, an underflow to zero or a NaN.
void requireFinite(double value, const std::string& path) {
  if (!std::isfinite(value))
    throw Fault{faults::notFinite, unitText(notFiniteText, inputUnit, path)};
}

// The phases of the computation, each once and in order. The listing is
// flushed before each long computation, so that a run stopped from outside
// keeps every line written before it and a full disk is told at once.
int runPhases(InputFile& input, Listing& listing, const RunOptions& options) {
  writeBanner(listing);
  const InputHead head = readHead(input, listing);
  checkHeadValues(head, input.path());

  const CellGeometry geometry = buildCellGeometry(head.lattice, head.range);
  writeRequiredMemory(listing, geometry);
  if (geometry.requiredEntries > options.tableCapacity) return capacityStop;
  listing.flush();

  const CoefficientTable table = buildCoefficientTable(
      {geometry, head.radius, head.range, head.inversionAtOrigin, head.symOps, head.sites});
  const std::vector<double> phi =
      listSitePotentials(table, geometry.volume, head.radius, head.sites, listing);
  for (double value : phi)
    requireFinite(value, input.path());
  requireFinite(energyPerAsymmetricUnit(head.sites, phi), input.path());
  listing.flush();

  if (probeForPositions(input))
    listPositions({table, geometry, head.radius, head.inversionAtOrigin, head.symOps, head.sites},
                  input, listing);
  return 0;
}

int report(const Fault& fault, std::ostream& err) {
  err << "telva: severe (" << fault.number << "): " << fault.text << '\n';
  return fault.number;
}

} // namespace

int runStreams(std::FILE* inputStream, const std::string& inputPath, std::FILE* listingStream,
               const std::string& listingPath, const RunOptions& options, std::ostream& err) {
  InputFile input(inputStream, inputPath);
  Listing listing(listingStream, listingPath);
  Fault fault{};
  try {
    const int status = runPhases(input, listing, options);
    listing.close();
    if (status == capacityStop) err << "1\n";
    return status;
  } catch (const Fault& thrown) {
    fault = thrown;
  } catch (const std::exception&) {
    // Beside std::bad_alloc, the library throws here only std::length_error
    // (a store larger than the address space) and std::system_error (a
    // thread the system cannot start): each the machine refusing resources.
    fault = {faults::outOfMemory, "insufficient memory"};
  }
  // The listing keeps every line written before the fault. When even that
  // cannot be written, its loss is the fault to tell.
  try {
    listing.close();
  } catch (const Fault& closing) {
    fault = closing;
  }
  return report(fault, err);
}

int run(const std::vector<std::string>& args, std::istream& in, std::ostream& out,
        std::ostream& err) {
  holdStandardDescriptors();
  try {
    const std::string inputPath = unitPath(args, 0, inputUnit, in, out);
    struct stat inputStatus;
    std::FILE* input = openInputFile(inputPath, &inputStatus);
    std::string listingPath;
    std::FILE* listing = nullptr;
    try {
      listingPath = unitPath(args, 1, listingUnit, in, out);
      listing = openListing(listingPath, inputStatus);
    } catch (...) {
      std::fclose(input);
      throw;
    }
    return runStreams(input, inputPath, listing, listingPath, RunOptions{}, err);
  } catch (const Fault& fault) {
    return report(fault, err);
  } catch (const std::bad_alloc&) {
    return report({faults::outOfMemory, "insufficient memory"}, err);
  }
}

} // namespace telva
