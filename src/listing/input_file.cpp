#include "listing/input_file.hpp"

#include <cerrno>
#include <cmath>
#include <sys/stat.h>

#include "base/capacities.hpp"
#include "base/fault.hpp"
#include "crystal/cell_geometry.hpp"
#include "crystal/crystal_check.hpp"
#include "records/input_records.hpp"

namespace telva {

namespace {

const Layout titleEcho = {literal(" "), textField(titleWidth)};
const Layout radiusEcho = {
    literal(" Radius of an ionic sphere:"), fixedField(6, 2), literal(" \u00c5"),      recordEnd(),
    literal(" Reciprocal-space range:"),    fixedField(6, 2), literal(" \u00c5**(-1)")};
const Layout countsEcho = {
    literal(" Number of symmetry operations:"),          integerField(4), recordEnd(),
    literal(" Number of atoms in the asymmetric unit:"), integerField(4), recordEnd(),
    literal(" Inversion center at the origin:"),         integerField(4)};
const Layout latticeEcho = {recordEnd(),      literal(" Lattice parameters: "),
                            fixedField(9, 4), fixedField(9, 4),
                            fixedField(9, 4), fixedField(9, 3),
                            fixedField(9, 3), fixedField(9, 3)};
const Layout symOpHeading = {recordEnd(), literal(" Symmetry operations"), recordEnd()};
const Layout symOpEcho = {literal(" "),      fixedField(13, 6), integerField(2), integerField(2),
                          fixedField(13, 6), integerField(2),   integerField(2), fixedField(13, 6),
                          integerField(2),   integerField(2)};

// Reads values of the head; the file may not end here.
std::vector<Value> readHeadValues(InputFile& input, const Layout& layout, int count) {
  auto values = readValues(input, layout, count);
  if (!values)
    throw Fault{faults::endOfFile, unitText("end-of-file during read", inputUnit, input.path())};
  return std::move(*values);
}

double real(const Value& v) {
  return std::get<double>(v);
}
int integer(const Value& v) {
  return static_cast<int>(std::get<std::int64_t>(v));
}

void checkCapacity(int count, int capacity, const char* what, const InputFile& input) {
  if (count <= capacity) return;
  throw Fault{faults::overCapacity, unitText(std::string(what) + ": " + std::to_string(count) +
                                                 " (at most " + std::to_string(capacity) + ")",
                                             inputUnit, input.path())};
}

} // namespace

InputHead readHead(InputFile& input, Listing& listing, bool capacities) {
  InputHead head;

  auto values = readHeadValues(input, inputRecords::title, 1);
  head.title = std::get<std::string>(values[0]);
  listing.write(titleEcho, values);

  values = readHeadValues(input, inputRecords::radiusAndRange, 2);
  head.radius = real(values[0]);
  head.range = real(values[1]);
  listing.write(radiusEcho, values);

  values = readHeadValues(input, inputRecords::counts, 3);
  head.symOpCount = integer(values[0]);
  head.siteCount = integer(values[1]);
  head.inversionAtOrigin = integer(values[2]);
  listing.write(countsEcho, values);
  if (capacities) {
    checkCapacity(head.symOpCount, maxSymOps, "too many symmetry operations", input);
    checkCapacity(head.siteCount, maxSites, "too many atoms in the asymmetric unit", input);
  }

  values = readHeadValues(input, inputRecords::lattice, 6);
  for (int i = 0; i < 6; ++i)
    head.lattice[i] = real(values[i]);
  listing.write(latticeEcho, values);

  const int symOps = std::max(head.symOpCount, 0);
  values = readHeadValues(input, inputRecords::symOp, 9 * symOps);
  for (int n = 0; n < symOps; ++n) {
    SymOp op;
    for (int i = 0; i < 3; ++i) {
      const Value* row = &values[9 * n + 3 * i];
      op.rows[i] = {real(row[0]), integer(row[1]), integer(row[2])};
    }
    head.symOps.push_back(op);
  }
  listing.write(symOpHeading);
  listing.write(symOpEcho, values);

  const int sites = std::max(head.siteCount, 0);
  values = readHeadValues(input, inputRecords::site, 6 * sites);
  for (int n = 0; n < sites; ++n) {
    const Value* v = &values[6 * n];
    head.sites.push_back(
        {std::get<std::string>(v[0]), real(v[1]), real(v[2]), real(v[3]), real(v[4]), real(v[5])});
  }
  return head;
}

void checkHeadValues(const InputHead& head, const std::string& path) {
  auto refuse = [&](const std::string& what) {
    throw Fault{faults::invalidValue, unitText(what, inputUnit, path)};
  };
  if (!std::isfinite(head.radius) || !(head.radius > 0))
    refuse("radius of an ionic sphere must be a positive number");
  if (!std::isfinite(head.range)) refuse("reciprocal-space range must be a finite number");
  if (const std::string defect = crystalDefect(head.lattice, head.symOps, head.sites);
      !defect.empty())
    refuse(defect);
}

bool probeForPositions(InputFile& input) {
  if (!readValues(input, inputRecords::position, 3)) return false;
  input.stepBack();
  return true;
}

std::optional<Position> readPosition(InputFile& input) {
  const auto values = readValues(input, inputRecords::position, 3);
  if (!values) return std::nullopt;
  const Position point{real((*values)[0]), real((*values)[1]), real((*values)[2])};
  if (!std::isfinite(point.x) || !std::isfinite(point.y) || !std::isfinite(point.z))
    throw Fault{faults::invalidValue, unitText("coordinates of a position must be finite numbers",
                                               inputUnit, input.path())};
  return point;
}

std::FILE* openInputFile(const std::string& path, struct stat* status) {
  struct stat own;
  struct stat& st = status ? *status : own;
  if (stat(path.c_str(), &st) != 0) {
    if (errno == ENOENT || errno == ENOTDIR)
      throw Fault{faults::fileNotFound, unitText("file not found", inputUnit, path)};
    throw Fault{faults::openFailure, unitText("open failure", inputUnit, path)};
  }
  std::FILE* stream = S_ISDIR(st.st_mode) ? nullptr : std::fopen(path.c_str(), "rb");
  if (!stream) throw Fault{faults::openFailure, unitText("open failure", inputUnit, path)};
  return stream;
}

InputHead readHeadQuietly(InputFile& input, bool capacities) {
  std::FILE* sink = std::fopen("/dev/null", "wb");
  if (!sink) throw Fault{faults::openFailure, unitText("open failure", listingUnit, "/dev/null")};
  Listing echo(sink, "/dev/null");
  InputHead head = readHead(input, echo, capacities);
  checkHeadValues(head, input.path());
  return head;
}

} // namespace telva
