// From a crystal as a CIF describes it to the text of a TELVA input file:
// charges, the operations to write, one site record per position (the
// species there merged, their charges averaged by occupancy), the sphere
// radius, the reciprocal-space range from the truncation estimate, and the
// fixed-column records.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/capacities.hpp"
#include "cif/charges.hpp"
#include "cif/cif_data.hpp"
#include "cif/symmetry.hpp"
#include "crystal/crystal.hpp"
#include "crystal/site.hpp"
#include "crystal/sym_op.hpp"

namespace telva {

struct ConversionOptions {
  std::vector<ChargeOverride> charges;
  std::optional<double> radius;    // R in Angstrom; default from the structure
  std::optional<double> qmax;      // 1/Angstrom; default from the tolerance
  double tolerance = 1e-5;         // e/Angstrom: the truncation estimate the default qmax meets
  bool strict = false;             // a charged cell or an atom inside a sphere is an error
  std::string block;               // the data block to read; empty: the one with a structure
  bool guessCharges = false;       // charges read from the structure for the sites without one
  std::vector<Position> positions; // position records to append
  bool atSites = false;            // append one position record per site record
  // Hold the sites and operations to what the listing program takes; the
  // library, which has no such limits, turns this off.
  bool listingCapacities = true;
};

// Default R as a fraction of the shortest distance between two charged atoms
// at different positions: no atom then lies inside another's sphere.
inline constexpr double radiusFraction = 0.45;
// The default qmax keeps the table within the capacity the program holds.
inline constexpr std::int64_t defaultTableLimit = tableCapacity;
// Images of a site closer than this are one atom (a special position), and
// sites whose orbits meet this closely share one position.
inline constexpr double samePointToleranceA = 0.02;
// A cell whose net charge exceeds this, in e, is charged.
inline constexpr double neutralityTolerance = 1e-3;
// Occupancies at one position may add up to 1 plus this (rounding in the CIF).
inline constexpr double occupancyTolerance = 0.005;

// What one written site record stands for.
struct WrittenRecord {
  std::string element;              // the majority species' element; empty when unknown
  double occupancy = 0;             // sum over the species at the position
  int multiplicity = 0;             // atoms of the cell at the position's orbit
  std::vector<std::string> members; // the CIF's labels (made unique) of the species
};

struct Conversion {
  std::string inputText;             // the whole input file
  std::vector<std::string> warnings; // for standard error
  std::vector<std::string> notes;    // what was chosen, for standard error
  // The sphere method's R and qmax as chosen, told after the notes (a front end
  // that computes by the Gaussian method has no use for them).
  std::vector<std::string> sphereNotes;

  // What was written, as the program will read it back.
  std::string title;
  double radius = 0, qmax = 0;
  std::array<double, 6> lattice{};
  std::vector<SymOp> symOps;
  bool inversionAtOrigin = false;
  int groupOrder = 0;           // operations with their inverted companions
  std::string operationsSource; // the CIF's tag or symbol the operations came from
  int siteCount = 0;            // atom sites the CIF lists
  std::vector<Site> sites;
  std::vector<int> multiplicities;     // per written site record
  std::vector<WrittenRecord> records;  // per written site record
  Crystal crystal;                     // lattice, operations and site records as written
  std::string formulaSum;              // the CIF's _chemical_formula_sum
  std::string formula;                 // _chemical_formula_sum, else _chemical_formula_structural
  std::string blockName;               // the data block converted
  std::optional<double> formulaUnitsZ; // the CIF's _cell_formula_units_Z
  double netCharge = 0;                // sum of the record charges over the cell
  double shortestDistance =
      0;                      // Angstrom, between charged atoms of different positions; 0 when none
  std::string closestPair;    // the labels of that pair
  double truncationError = 0; // estimate for the largest record charge, e/Angstrom
  std::int64_t tableEntries = 0;
};

// The whole conversion; CifError for anything that keeps the input from being
// right (a site without a charge, an operation without an AxisCode form, a
// charged cell with `strict`, ...).
Conversion convertCrystal(const CifCrystal& crystal, const ConversionOptions& options);

// From the CIF file to the conversion, the block chosen by options.block;
// CifError with the file's name in front of the reason.
Conversion convertCifFile(const std::string& path, const ConversionOptions& options);

// The steps of the conversion, in their order.

// Repeated labels made unique by a suffix (_2, _3, ...), each renaming noted.
std::vector<CifSite> uniqueLabels(const std::vector<CifSite>& sites,
                                  std::vector<std::string>& notes);

// The site charges: knownCharges, and for the rest the guess when asked,
// noted per element; else CifError naming every site left without one.
std::vector<double> chargesOfSites(const CifCrystal& crystal, const ConversionOptions& options,
                                   std::vector<std::string>& notes);
// The same, an assignment naming no site warned of and left out (with
// options.strict an error).
std::vector<double> chargesOfSites(const CifCrystal& crystal, const ConversionOptions& options,
                                   std::vector<std::string>& notes,
                                   std::vector<std::string>& warnings);

// One position of the cell's sites: the species there and its orbit.
struct CellPosition {
  std::vector<std::size_t> members; // sites, in the CIF's order
  Position point;                   // the first member's coordinates
  std::vector<Position> images;
  double charge = 0;    // sum of charge times occupancy
  double occupancy = 0; // sum of occupancies
  std::string element;  // the majority species' element
};

// Sites grouped by position (orbits that meet within samePointToleranceA),
// occupancy-0 sites left out with a note; CifError for an occupancy outside
// [0, 1] or a position whose occupancies add up to more than 1.
std::vector<CellPosition> cellPositions(const CifCrystal& crystal,
                                        const std::vector<double>& charges,
                                        const std::vector<MatrixOp>& group,
                                        const std::array<double, 6>& lattice,
                                        std::vector<std::string>& notes);

// nearest(i, j): the shortest distance from position i's point to an atom of
// position j's orbit other than itself (nearestImageDistance), held for the
// positions i that `from` takes, the positions j that `to` takes, and
// distances up to `reach`; found through a cell list, in time linear in the
// atoms for a reach of the order of their spacing.
struct NearPositions {
  double reach = 0;
  std::vector<std::vector<std::pair<std::size_t, double>>> near; // per i: (j, nearest) by j
  // nearest(i, j), infinite when it is not held (beyond the reach).
  double at(std::size_t i, std::size_t j) const;
};
NearPositions nearPositions(const std::vector<CellPosition>& positions,
                            const std::array<double, 6>& lattice,
                            const std::function<bool(std::size_t)>& from,
                            const std::function<bool(std::size_t)>& to, double reach);

// The sphere radius: the given one, checked (an atom inside another charged
// atom's sphere is warned of, with strict an error), or radiusFraction of the
// shortest distance between charged atoms of different positions, rounded
// down to 0.001 A. Partial positions closer than 2R are warned of either way.
double chooseRadius(const std::vector<CellPosition>& positions,
                    const std::vector<std::string>& labels, const std::array<double, 6>& lattice,
                    const ConversionOptions& options, Conversion& out);

// The most decimals with which `value` fills a fixed-point field of `width`
// columns (the leading zero of a value below one dropped when that gains a
// digit); CifError when it does not fit at all.
int fillingDecimals(double value, int width);

// The value of a whole word written as a finite decimal number; nullopt for
// anything else.
std::optional<double> wholeNumber(const std::string& word);

// Position records from free-format text: three numbers a line, separated by
// blanks or commas; blank lines and text after '#' are ignored.
std::vector<Position> parsePositions(std::string_view text, const std::string& name);

} // namespace telva
