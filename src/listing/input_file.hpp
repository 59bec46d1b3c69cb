// The input file: a head (title, radius and range, counts, lattice, symmetry
// operations, sites) followed by any number of position records.
#pragma once

#include <array>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "crystal/site.hpp"
#include "crystal/sym_op.hpp"
#include "records/record_files.hpp"

struct stat;

namespace telva {

struct InputHead {
  std::string title; // 72 characters, trailing blanks included
  double radius = 0; // R, sphere radius, Angstrom
  double range = 0;  // qmax, reciprocal-space range, 1/Angstrom
  int symOpCount = 0;
  int siteCount = 0;
  int inversionAtOrigin = 0;       // non-zero: inversion centre at the origin
  std::array<double, 6> lattice{}; // p1..p6 as read: a, b, c, alpha, beta, gamma
  std::vector<SymOp> symOps;       // symOpCount operations, or none when it is 0 or less
  std::vector<Site> sites;         // siteCount sites, or none when it is 0 or less
};

// Reads the head from the first record, echoing all of it but the sites to the
// listing. Leaves the input at the first record after the sites. The counts
// are held to the listing program's capacities unless `capacities` is false
// (the library, which has no such limits).
InputHead readHead(InputFile& input, Listing& listing, bool capacities = true);

// Refuses a head whose values make every result meaningless: a radius that is
// not a positive number, a range that is not finite, lattice parameters that
// describe no cell, a translation, charge, W or coordinate that is not finite.
// Checked in that order, after the head has been echoed.
void checkHeadValues(const InputHead& head, const std::string& path);

// Opens the input file (unit 5) for reading: a path that does not exist is
// "file not found", one that cannot be read (a folder, no permission) an open
// failure. The file's status goes to `status` when it is given.
std::FILE* openInputFile(const std::string& path, struct stat* status = nullptr);

// The head as telva reads and refuses it, without the echo (for the front ends
// that read an input file but write no listing).
InputHead readHeadQuietly(InputFile& input, bool capacities = true);

// Whether a position record follows; leaves the input standing at it.
bool probeForPositions(InputFile& input);

// The next position record; nullopt at the end of the file. A coordinate that
// is not finite is refused with the invalid-value fault.
std::optional<Position> readPosition(InputFile& input);

} // namespace telva
