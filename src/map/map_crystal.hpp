// The crystal a map is drawn for, from either kind of input: what the
// computation needs, and what the map files say about the atoms.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "crystal/cell_geometry.hpp"
#include "crystal/crystal.hpp"

namespace telva {

struct MapCrystal {
  std::string title; // without trailing blanks
  // What a picture is titled: the formula and the data block for a CIF, the
  // title otherwise.
  std::string heading;
  double radius = 0; // R, Angstrom
  double range = 0;  // qmax, 1/Angstrom
  Crystal crystal;
  std::vector<std::string> elements; // one symbol per site, empty when unknown
};

// One atom of the whole cell.
struct CellAtom {
  std::string label; // the site's label without blanks
  std::string element;
  double charge = 0;
  double x = 0, y = 0, z = 0; // fractional, each in [0, 1)
};

// Images closer than this (Angstrom) are one atom: a site on a special
// position is listed once.
inline constexpr double sameAtomDistance = 0.02;

// Every atom of the cell: the images of the sites under the operations (and
// their inverted companions with the flag set), reduced into the cell, each
// point once.
std::vector<CellAtom> cellAtoms(const MapCrystal& crystal, const CellGeometry& geometry);

// Cartesian cell vectors in Angstrom, rows a, b, c: a along x, b in the xy
// plane, c completing a right-handed set.
using CellAxes = std::array<std::array<double, 3>, 3>;
CellAxes cartesianAxes(const CellGeometry& geometry);

// The Cartesian position of a fractional one.
std::array<double, 3> cartesian(const CellAxes& axes, double x, double y, double z);

} // namespace telva
