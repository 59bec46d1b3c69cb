// The sections of the listing after the echo of the head, each with its
// record layouts: the banner, the required-memory line, the site potentials
// with the energy, and the potentials at the position records.
#pragma once

#include <span>
#include <string>
#include <vector>

#include "crystal/cell_geometry.hpp"
#include "crystal/site.hpp"
#include "electrostatics/coefficient_table.hpp"
#include "electrostatics/positions.hpp"
#include "records/record_files.hpp"

namespace telva {

// The five lines that open every listing.
void writeBanner(Listing& listing);

// Writes the required-memory line: the index limits, requiredEntries and the
// table capacity, after one empty line.
void writeRequiredMemory(Listing& listing, const CellGeometry& g);

// Computes, lists site by site, and returns the site potentials; then writes
// the energy section.
std::vector<double> listSitePotentials(const CoefficientTable& table, double volume, double radius,
                                       std::span<const Site> sites, Listing& listing);

// The energy line's eV text: E in eV as a fixed-point field of width 13 with 5
// decimals, without its blanks, followed by " eV".
std::string electronVoltText(double energy);

// Writes the positions heading, then reads, evaluates and lists the position
// records a batch at a time, in file order, until the end of the input file.
void listPositions(const PositionContext& context, InputFile& input, Listing& listing);

} // namespace telva
