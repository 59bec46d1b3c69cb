// Every atom of the crystal near a point, by a cell list.
//
// The atoms are the images of the asymmetric unit's sites under the symmetry
// operations (and, with the inversion flag, their inverted companions),
// reduced into the cell. Images of one site that coincide (a site on a special
// position) are merged into one atom whose charge is Z times the sum of their
// weights W, so each atom of the cell appears once with the charge that the
// crystal's charge density puts there.
//
// What to call:
//   AtomCells cells = buildAtomCells(crystal, reach);   // once per crystal
//   forEachAtomWithin(cells, point, r, visit);          // every image, r <= reach
//   atomsWithin(cells, point, r)                        // the same, as a list
//   nearestAtom(cells, point)                           // the nearest image
// Points are Cartesian (toCartesian / cartesianPoint convert fractional ones)
// and may lie anywhere, inside the cell or not.
//
// Cartesian frame: a along x, b in the xy plane, c completing a right-handed
// set (the convention of International Tables Vol. B, 2nd ed., 3.3.1.1.1).
#pragma once

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "base/fault.hpp"
#include "crystal/cell_geometry.hpp"
#include "crystal/crystal.hpp"
#include "crystal/sym_op.hpp"

namespace telva {

using Vec3 = std::array<double, 3>;

// The cell's edges as Cartesian vectors and the inverse map.
struct CellFrame {
  std::array<Vec3, 3> edges{}; // a, b, c in Angstrom
  // Rows of the inverse of the edge matrix: fractional u_i = rows[i] . r.
  std::array<Vec3, 3> inverse{};
  // Spacing of the lattice planes (100), (010), (001): V / |b x c| and so on.
  Vec3 planeSpacing{};
};

CellFrame cellFrame(const CellGeometry& geometry);
Vec3 toCartesian(const CellFrame& frame, const Position& fractional);
Position toFractional(const CellFrame& frame, const Vec3& cartesian);

// One atom of the crystal: a Cartesian position, the index of its site in the
// crystal's sites, and its charge Z * (sum of W of the merged images).
struct AtomImage {
  Vec3 r{};
  int site = 0;
  double charge = 0;
};

// Fractional positions of two images of one site closer than this (in every
// coordinate, modulo 1) are one atom. The inputs' thirds carry ten decimals.
inline constexpr double coincidentFraction = 1e-6;

// The atoms of one cell: every site's distinct images, reduced into [0, 1),
// site by site in the sites' order, images in the order of the operations
// (each operation followed by its inverted companion). Cartesian positions.
std::vector<AtomImage> cellAtoms(const Crystal& crystal, const CellFrame& frame);

struct AtomCells {
  CellFrame frame;
  double reach = 0;              // largest query radius, Angstrom
  std::vector<AtomImage> atoms;  // the atoms of one cell, as cellAtoms gives them
  std::vector<AtomImage> images; // atoms and lattice shifts within reach of the cell, by bin
  Vec3 origin{};                 // corner of the bin grid
  double binEdge = 1;            // Angstrom
  std::array<int, 3> bins{1, 1, 1};
  std::vector<std::int32_t> binStart; // images of bin b: [binStart[b], binStart[b + 1])

  int binIndex(int i, int j, int k) const { return i + bins[0] * (j + bins[1] * k); }
};

// Images stored for a crystal and reach, without building anything: the
// figure behind a memory check (bytes are this times sizeof(AtomImage), plus
// the bins, which are fewer than the images or 4096, whichever is larger).
// Saturates at 9e18.
std::int64_t atomImageCount(const Crystal& crystal, double reach);

// Every atom image within `reach` of any point of the cell, binned. A reach
// that is not a positive finite number is refused (invalid value), and one
// that takes in more than 2^31 - 1 images (out of memory).
AtomCells buildAtomCells(const Crystal& crystal, double reach);

// The lattice translation that brings a Cartesian point into the cell [0, 1).
Vec3 cellShift(const CellFrame& frame, const Vec3& point);

// Calls visit(const AtomImage& image, double distanceSquared) for every image
// of an atom within r of the point (distances to r inclusive; an r beyond the
// reach, or a point not finite, is refused with the invalid-value fault), in
// an order fixed by the crystal and the point. image.r is in the frame of the
// point reduced into the cell; the image's position near the original point
// is image.r + cellShift(frame, point).
template <typename Visit>
void forEachAtomWithin(const AtomCells& cells, const Vec3& point, double r, Visit&& visit) {
  if (!(r <= cells.reach))
    throw Fault{faults::invalidValue, "an atom search of radius " + std::to_string(r) +
                                          " A beyond the cells' reach of " +
                                          std::to_string(cells.reach) + " A"};
  if (!std::isfinite(point[0]) || !std::isfinite(point[1]) || !std::isfinite(point[2]))
    throw Fault{faults::invalidValue,
                "a point of the atom search has a coordinate that is not a finite number"};
  const Vec3 shift = cellShift(cells.frame, point);
  const Vec3 p{point[0] - shift[0], point[1] - shift[1], point[2] - shift[2]};
  const double r2 = r * r;
  std::array<int, 3> lo{}, hi{};
  for (int i = 0; i < 3; ++i) {
    // Clamped as doubles: a point far out of range must not overflow an int.
    const double first = std::floor((p[i] - r - cells.origin[i]) / cells.binEdge);
    const double last = std::floor((p[i] + r - cells.origin[i]) / cells.binEdge);
    lo[i] = static_cast<int>(std::clamp(first, 0.0, double(cells.bins[i])));
    hi[i] = static_cast<int>(std::clamp(last, -1.0, double(cells.bins[i] - 1)));
  }
  for (int k = lo[2]; k <= hi[2]; ++k)
    for (int j = lo[1]; j <= hi[1] && lo[0] <= hi[0]; ++j) {
      // The bins lo[0]..hi[0] of one row are contiguous.
      const int first = cells.binIndex(lo[0], j, k), last = cells.binIndex(hi[0], j, k);
      for (std::int32_t n = cells.binStart[first]; n < cells.binStart[last + 1]; ++n) {
        const AtomImage& image = cells.images[n];
        const double dx = p[0] - image.r[0], dy = p[1] - image.r[1], dz = p[2] - image.r[2];
        const double d2 = dx * dx + dy * dy + dz * dz;
        if (d2 <= r2) visit(image, d2);
      }
    }
}

// One image found near a point.
struct AtomHit {
  int site = 0;
  double distance = 0;
  double charge = 0;
  Vec3 r{}; // Cartesian position of the image near the point
};

// The images within r of the point (r <= reach), nearest first; ties keep the
// visiting order.
std::vector<AtomHit> atomsWithin(const AtomCells& cells, const Vec3& point, double r);

// The image nearest the point, within reach or beyond (then by the 27 cells
// around each atom's nearest image); nullopt only for a crystal without sites.
// Of images at the same distance, the first visited.
std::optional<AtomHit> nearestAtom(const AtomCells& cells, const Vec3& point);

// A fractional point in the cells' Cartesian frame.
inline Vec3 cartesianPoint(const AtomCells& cells, const Position& fractional) {
  return toCartesian(cells.frame, fractional);
}

} // namespace telva
