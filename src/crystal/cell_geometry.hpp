// The cell in direct and reciprocal space, its two metrics, and the index
// limits of the reciprocal coefficient table.
#pragma once

#include <array>
#include <cstdint>

#include "crystal/position.hpp"

namespace telva {

struct CellGeometry {
  double a = 0, b = 0, c = 0;                     // direct edges, Angstrom
  double cosAlpha = 0, cosBeta = 0, cosGamma = 0; // direct angles
  double volume = 0;                              // direct volume, Angstrom^3
  double aStar = 0, bStar = 0, cStar = 0;         // reciprocal edges, 1/Angstrom
  double cosAlphaStar = 0, cosBetaStar = 0, cosGammaStar = 0;
  // g11 = a*^2, g22 = b*^2, g33 = c*^2, g12 = 2a*b* cos gamma*,
  // g13 = 2a*c* cos beta*, g23 = 2b*c* cos alpha*.
  std::array<double, 6> recipMetric{};
  // G11 = a^2, G22 = b^2, G33 = c^2, G12 = 2ab cos gamma, G13 = 2ac cos beta,
  // G23 = 2bc cos alpha.
  std::array<double, 6> directMetric{};
  std::int32_t hmax = 0, kmax = 0, lmax = 0;
  // (2 hmax + 1)(2 kmax + 1)(lmax + 1), the cells of the table's index box.
  std::int64_t requiredEntries = 0;
};

// Builds the geometry from the six lattice parameters as read and the
// reciprocal-space range qmax. The form of the parameters is told by their
// values: p1 < 1 means a reciprocal cell, p4 < 1 means cosines instead of degrees.
CellGeometry buildCellGeometry(const std::array<double, 6>& p, double qmax);

// Whether the lattice parameters describe a cell: false for an edge
// that is not positive or not finite, a cosine of magnitude 1 or more, or
// angles that leave no volume.
bool describesCell(const std::array<double, 6>& p);

// |s|^2 of the reciprocal vector (h, k, l), in 1/Angstrom^2.
double recipLengthSquared(const CellGeometry& g, double h, double k, double l);

// The (k, l) part of recipLengthSquared, formed once per row of constant k, l.
double recipRowTerm(const CellGeometry& g, double k, double l);
// recipLengthSquared from the row term: (g11 h + g12 k + g13 l) h + row.
double recipLengthSquaredInRow(const CellGeometry& g, double h, double k, double l, double rowTerm);

// Distance in Angstrom spanned by a difference of fractional coordinates.
double directDistance(const CellGeometry& g, double dx, double dy, double dz);
// Its square, the metric's quadratic form (directDistance is its root).
double directDistanceSquared(const CellGeometry& g, double dx, double dy, double dz);

// Distance in Angstrom from p to the nearest lattice image of q.
double nearestImageDistance(const CellGeometry& g, const Position& p, const Position& q);

// The largest range qmax whose index box holds at most `entries` entries (up
// to the last representable double): the box's size is a step function of
// the range, and this is the range just below its step past the limit.
double largestRange(const std::array<double, 6>& lattice, std::int64_t entries);

} // namespace telva
