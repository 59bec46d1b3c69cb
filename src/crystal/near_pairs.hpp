// Points of a periodic cell near a point, by a cell list over fractional
// coordinates: what every pair search of the crystal layer and the converter
// uses instead of comparing every point with every other.
//
// The distances handed to the caller are nearestImageDistance itself, formed
// from the same two fractional positions, so that a search through the cells
// gives bit for bit the figure of the search over all pairs; the cells only
// decide which pairs are measured.
//
// What to call:
//   NearCells cells = buildNearCells(cell, points, reach);  // once per point set
//   forEachPointNear(cells, cell, points, p, r, visit);     // r <= reach
#pragma once

#include <array>
#include <cmath>
#include <cstdint>
#include <span>
#include <vector>

#include "crystal/cell_geometry.hpp"
#include "crystal/position.hpp"

namespace telva {

// The points binned by their coordinates reduced into [0, 1): bins[i] bins
// along edge i, each at least reach / (spacing of the lattice planes) wide,
// so that a point within reach of another lies in its bin or a neighbouring
// one (modulo the cell).
struct NearCells {
  double reach = 0; // Angstrom
  std::array<int, 3> bins{1, 1, 1};
  std::array<double, 3> planeSpacing{}; // Angstrom, 1 / a*, 1 / b*, 1 / c*
  std::vector<std::int32_t> binStart;   // points of bin b: order[binStart[b] .. binStart[b + 1])
  std::vector<std::int32_t> order;      // indices into the points, by bin

  int binIndex(int i, int j, int k) const { return i + bins[0] * (j + bins[1] * k); }
};

// Bins the points (any fractional values, not reduced) for searches up to
// `reach` Angstrom; the bins number at most about four per point.
NearCells buildNearCells(const CellGeometry& cell, std::span<const Position> points, double reach);

// The bin of a fractional coordinate along an edge of `bins` bins.
inline int nearBin(double u, int bins) {
  const double r = u - std::floor(u);
  const int b = static_cast<int>(r * bins);
  return b < 0 ? 0 : (b >= bins ? bins - 1 : b);
}

// Calls visit(index, distance) for every point whose nearestImageDistance
// from p is at most r (r <= cells.reach), distance being that figure. The
// order is fixed by the points and p. A point is measured only when no edge
// alone puts it farther than r: the fractional difference along edge i,
// reduced to [-1/2, 1/2], times the plane spacing is a lower bound of the
// distance to every image.
template <typename Visit>
void forEachPointNear(const NearCells& cells, const CellGeometry& cell,
                      std::span<const Position> points, const Position& p, double r,
                      Visit&& visit) {
  const double coordinate[3] = {p.x, p.y, p.z};
  int first[3], count[3];
  for (int i = 0; i < 3; ++i) {
    const int n = cells.bins[i];
    count[i] = n >= 3 ? 3 : n;
    first[i] = n >= 3 ? nearBin(coordinate[i], n) - 1 : 0;
  }
  // Relative slack for the rounding of the bound against the metric's figure.
  const double bound = r * (1 + 1e-9) + 1e-12;
  for (int dk = 0; dk < count[2]; ++dk)
    for (int dj = 0; dj < count[1]; ++dj)
      for (int di = 0; di < count[0]; ++di) {
        const int bi = (first[0] + di + cells.bins[0]) % cells.bins[0];
        const int bj = (first[1] + dj + cells.bins[1]) % cells.bins[1];
        const int bk = (first[2] + dk + cells.bins[2]) % cells.bins[2];
        const int b = cells.binIndex(bi, bj, bk);
        for (std::int32_t n = cells.binStart[b]; n < cells.binStart[b + 1]; ++n) {
          const std::int32_t index = cells.order[n];
          const Position& q = points[index];
          const double d[3] = {q.x - p.x, q.y - p.y, q.z - p.z};
          bool far = false;
          for (int i = 0; i < 3 && !far; ++i)
            far = std::fabs(d[i] - std::round(d[i])) * cells.planeSpacing[i] > bound;
          if (far) continue;
          const double distance = nearestImageDistance(cell, p, q);
          if (distance <= r) visit(index, distance);
        }
      }
}

// A bound of every nearestImageDistance in the cell: the rounded difference
// is at most half of each edge, so (a + b + c) / 2 and a little to spare.
inline double farthestImageDistance(const CellGeometry& cell) {
  return (cell.a + cell.b + cell.c) / 2 * (1 + 1e-9);
}

// A first search radius for the nearest neighbours of `count` points spread
// over the cell: one and a half times the edge of the volume per point.
double typicalSpacing(const CellGeometry& cell, std::size_t count);

} // namespace telva
