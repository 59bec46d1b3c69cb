// The atoms a site stands for: its distinct images in the cell under the
// operations (and their inverted companions), and the closest pair of charged
// atoms at different positions, which sets the default sphere radius.
#pragma once

#include <vector>

#include "crystal/cell_geometry.hpp"
#include "crystal/crystal.hpp"

namespace telva {

// The distinct points of the cell, reduced into [0, 1), that the operations
// make of site `site`; two images within `tolerance` Angstrom of each other
// modulo lattice count once. Their number is the site's multiplicity.
std::vector<Position> siteImages(const Crystal& crystal, const CellGeometry& cell, int site,
                                 double tolerance);

// Each site's number of images (siteImages), in the sites' order.
std::vector<int> siteMultiplicities(const Crystal& crystal, double tolerance);

// The shortest distance in Angstrom between two atoms whose sites carry a
// charge and which lie more than `tolerance` apart (atoms at one position, as
// the species of a mixed site, are not a pair), and the two sites; distance
// infinite and sites -1 when there is no such pair.
struct ClosestPair {
  double distance = 0;
  int first = -1, second = -1;
};
// Of pairs at the same distance, the first in the sites' order. Found through
// a cell list (near_pairs.hpp) in time linear in the atoms.
ClosestPair closestChargedPair(const Crystal& crystal, double tolerance);

// Both at once, the sites' images formed once: what a front end asks of a
// crystal it is handed.
struct SiteGeometry {
  std::vector<int> multiplicities;
  ClosestPair closest;
};
SiteGeometry siteGeometry(const Crystal& crystal, double tolerance);

} // namespace telva
