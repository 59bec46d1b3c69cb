// Reads the crystal of an input file (title, radius and range, counts,
// lattice, operations, sites) into a Crystal, without the listing program's
// capacities: for the tests and benchmarks of the computation core on the
// crystals of examples/ and bench/crystals/. Every number of these files
// carries its decimal point.
#pragma once

#include <fstream>
#include <stdexcept>
#include <string>

#include "crystal/crystal.hpp"

namespace telva::test {

inline double columns(const std::string& line, std::size_t first, std::size_t width) {
  if (line.size() < first) return 0;
  const std::string text = line.substr(first, width);
  return text.find_first_not_of(' ') == std::string::npos ? 0.0 : std::stod(text);
}

struct CrystalFile {
  Crystal crystal;
  double radius = 0, range = 0; // the sphere method's R and qmax
};

inline CrystalFile readCrystalInput(const std::string& path) {
  std::ifstream in(path);
  if (!in) throw std::runtime_error("cannot read " + path);
  std::string line;
  std::getline(in, line); // title
  std::getline(in, line);
  CrystalFile file;
  file.radius = columns(line, 0, 6), file.range = columns(line, 6, 6);
  std::getline(in, line);
  const int ops = int(columns(line, 0, 3)), sites = int(columns(line, 3, 3));
  Crystal& crystal = file.crystal;
  crystal.inversionAtOrigin = columns(line, 6, 3) != 0;
  std::getline(in, line);
  for (int i = 0; i < 6; ++i)
    crystal.lattice[i] = columns(line, 9 * i, 9);
  for (int n = 0; n < ops && std::getline(in, line); ++n) {
    SymOp op;
    for (int r = 0; r < 3; ++r)
      op.rows[r] = {columns(line, 15 * r, 11), int(columns(line, 15 * r + 11, 2)),
                    int(columns(line, 15 * r + 13, 2))};
    crystal.symOps.push_back(op);
  }
  for (int n = 0; n < sites && std::getline(in, line); ++n)
    crystal.sites.push_back({line.substr(0, 8), columns(line, 9, 9), columns(line, 18, 9),
                             columns(line, 27, 9), columns(line, 36, 9), columns(line, 45, 9)});
  if (int(crystal.symOps.size()) != ops || int(crystal.sites.size()) != sites)
    throw std::runtime_error(path + " ends before its sites");
  return file;
}

inline Crystal readCrystalFile(const std::string& path) {
  return readCrystalInput(path).crystal;
}

} // namespace telva::test
