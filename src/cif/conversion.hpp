// From a crystal as a CIF describes it to the text of a TELVA input file:
// charges, the operations to write, the weights of the sites, the sphere
// radius and the reciprocal-space range, and the fixed-column records.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "cif/cif_data.hpp"
#include "cif/symmetry.hpp"
#include "crystal/site.hpp"
#include "crystal/sym_op.hpp"

namespace telva {

// --charge NAME=Z: NAME is a site label (that site only) or an element symbol
// (every site of that element); a label takes precedence.
struct ChargeOverride {
  std::string name;
  double charge = 0;
};

struct ConversionOptions {
  std::vector<ChargeOverride> charges;
  std::optional<double> radius;           // R in Angstrom; default from the structure
  std::optional<double> qmax;             // 1/Angstrom; default from the table limit
  bool strict = false;                    // a charged cell is an error, not a warning
  std::vector<FractionalPoint> positions; // position records to append
  bool atSites = false;                   // append one position record per site
  // Hold the sites and operations to what the listing program takes; the
  // library, which has no such limits, turns this off.
  bool listingCapacities = true;
};

// Default R as a fraction of the shortest distance between atoms of opposite
// charge; the spheres of neighbouring ions then stay apart.
inline constexpr double radiusFraction = 0.45;
// Default qmax: the largest that keeps the coefficient table within this many
// entries (the program itself holds 10,000,000, at a run time that grows with it).
inline constexpr std::int64_t defaultTableLimit = 2'000'000;
// Images of a site closer than this are one atom (a special position).
inline constexpr double samePointToleranceA = 0.02;
// A cell whose net charge exceeds this, in e, is charged.
inline constexpr double neutralityTolerance = 1e-3;

struct Conversion {
  std::string inputText;             // the whole input file
  std::vector<std::string> warnings; // for standard error
  std::vector<std::string> notes;    // what was chosen, for standard error

  // What was written, as the program will read it back.
  std::string title;
  double radius = 0, qmax = 0;
  std::array<double, 6> lattice{};
  std::vector<SymOp> symOps;
  bool inversionAtOrigin = false;
  int groupOrder = 0; // operations with their inverted companions
  std::vector<Site> sites;
  std::vector<int> multiplicities;
  double netCharge = 0;                // sum of Z times occupancy over the cell
  double shortestOppositeDistance = 0; // Angstrom, 0 when no such pair
  std::int64_t tableEntries = 0;
};

// The whole conversion; CifError for anything that keeps the input from being
// right (a site without a charge, an operation without an AxisCode form, a
// charged cell with `strict`, ...).
Conversion convertCrystal(const CifCrystal& crystal, const ConversionOptions& options);

// The charge carried by a type symbol's suffix: O2- -> -2, Fe3+ -> 3, Na+ -> 1,
// O-2 -> -2; nullopt when it carries none (Fe, Fe1).
std::optional<double> chargeFromTypeSymbol(std::string_view symbol);

// Charges of the sites in order; CifError naming the first site without one, or
// an override that names no site and no element.
std::vector<double> resolveCharges(const CifCrystal& crystal,
                                   const std::vector<ChargeOverride>& overrides);

// (2 trunc(a q) + 1)(2 trunc(b q) + 1)(trunc(c q) + 1): the program's table.
std::int64_t tableEntries(double a, double b, double c, double qmax);
// The largest qmax (up to the last representable double) within `limit` entries.
double largestQmax(double a, double b, double c, std::int64_t limit);

// The most decimals with which `value` fills a fixed-point field of `width`
// columns (the leading zero of a value below one dropped when that gains a
// digit); CifError when it does not fit at all.
int fillingDecimals(double value, int width);

// Position records from free-format text: three numbers a line, separated by
// blanks or commas; blank lines and text after '#' are ignored.
// The value of a whole word written as a finite decimal number; nullopt for
// anything else.
std::optional<double> wholeNumber(const std::string& word);

std::vector<FractionalPoint> parsePositions(std::string_view text, const std::string& name);

} // namespace telva
