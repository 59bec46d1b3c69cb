// A disordered crystal as the ordering sees it: the parent cell, its group,
// and per position the list of species there (a vacancy, charge 0, filling
// the occupancy up to 1), instead of the one averaged record the listing
// takes.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "cif/cif_data.hpp"
#include "cif/conversion.hpp"
#include "crystal/position.hpp"

namespace telva {

struct Species {
  std::string label;   // the CIF's label (made unique); "vacancy" for the vacancy
  std::string element; // empty for the vacancy or a pseudo-atom
  double charge = 0;
  double occupancy = 0;
  bool vacancy = false;
};

struct DisorderedPosition {
  Position point;               // the first species' coordinates
  std::vector<Position> images; // the orbit in the parent cell, reduced into [0, 1)
  std::vector<Species> species; // in the CIF's order, the vacancy last
  bool disordered() const { return species.size() > 1; }
  std::string name() const; // the species' labels joined by '/'
};

struct DisorderedCrystal {
  std::string source, blockName;
  std::array<double, 6> cell{}; // a, b, c, alpha, beta, gamma
  std::vector<MatrixOp> group;  // normalised: the identity first, modulo lattice
  std::vector<DisorderedPosition> positions;
  std::vector<std::string> notes, warnings;
  bool chargesGuessed = false;
};

// Positions closer to full than this are full (rounding in the CIF).
inline constexpr double fullOccupancyTolerance = occupancyTolerance;

// From the CIF's data with the charges chosen as telva-cif chooses them
// (options.charges, the CIF's oxidation numbers, options.guessCharges);
// CifError for what keeps it from being read.
DisorderedCrystal disorderedCrystal(const CifCrystal& crystal, const ConversionOptions& options);

// The one place that reads the file: readCifFile, the block of options.block.
DisorderedCrystal readDisorderedCif(const std::string& path, const ConversionOptions& options);

} // namespace telva

namespace telva {

// One species at one position, as a caller hands it over.
struct SpeciesAt {
  std::string label, element;
  double charge = 0, occupancy = 1;
  Position point;
};

// The crystal from plain values: the cell, the operations as coordinate
// triplets, and per position its species (the first one's point stands for
// the position). CifError for values that describe no crystal.
DisorderedCrystal disorderedCrystal(const std::array<double, 6>& cell,
                                    const std::vector<std::string>& operations,
                                    const std::vector<std::vector<SpeciesAt>>& positions);

} // namespace telva
