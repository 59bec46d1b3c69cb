// Points of a periodic cell near a point, by a cell list over fractional
// coordinates: what the pair searches of the crystal layer and the converter
// use instead of comparing every point with every other.
//
// The distances handed to the caller are nearestImageDistance itself, formed
// from the same two fractional positions, so that a search through the cells
// gives bit for bit the figure of the search over all pairs; the cells only
// decide which pairs are measured.
//
// What to call:
//   NearCells cells = buildNearCells(cell, points, reach);  // once per point set
//   forEachPointNear(cells, cell, p, r, visit);             // r <= reach
#pragma once

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <span>
#include <unordered_map>
#include <vector>

#include "crystal/cell_geometry.hpp"
#include "crystal/position.hpp"

namespace telva {

// A fractional coordinate reduced into [0, 1) (1 - 1e-17 and the like count
// as 0, the same plane).
inline double reducedCoordinate(double u) {
  const double r = u - std::floor(u);
  return r >= 1.0 ? 0.0 : r;
}

// The points binned by their reduced coordinates: bins[i] bins along edge
// i, each about half the reach wide across the lattice planes.
struct NearCells {
  double reach = 0; // Angstrom
  std::array<int, 3> bins{1, 1, 1};
  std::array<double, 3> planeSpacing{}; // Angstrom, 1 / a*, 1 / b*, 1 / c*
  std::vector<std::int32_t> binStart;   // points of bin b: [binStart[b], binStart[b + 1])
  std::vector<std::int32_t> order;      // indices into the points, by bin
  std::vector<Position> binned;         // the points themselves in that order
  std::vector<Position> reduced;        // and their reduced coordinates

  int binIndex(int i, int j, int k) const { return i + bins[0] * (j + bins[1] * k); }
};

// Bins the points (any fractional values, not reduced) for searches up to
// `reach` Angstrom; the bins number at most about four per point.
NearCells buildNearCells(const CellGeometry& cell, std::span<const Position> points, double reach);

// The indices of `points` in the order of the cells' bins: a search from
// each in turn visits the bins of its predecessor's neighbourhood, which the
// memory caches still hold.
std::vector<std::int32_t> binOrder(const NearCells& cells, std::span<const Position> points);

// The bin of a reduced coordinate along an edge of `bins` bins.
inline int nearBin(double r, int bins) {
  const int b = static_cast<int>(r * bins);
  return b < 0 ? 0 : (b >= bins ? bins - 1 : b);
}

// Calls visit(index, distance) for every point whose nearestImageDistance
// from p is at most r (r <= cells.reach), distance being that figure, in an
// order fixed by the points and p. The visitor may lower r as it goes (a
// search for the nearest point narrows to the best found so far).
//
// Along each edge the bins within r / (plane spacing) of p are visited, each
// with the lattice shift that brings it next to p; a point is measured only
// when no edge alone puts it farther than r (the fractional difference along
// edge i times the plane spacing is a lower bound of the distance).
template <typename Visit>
void forEachPointNear(const NearCells& cells, const CellGeometry& cell, const Position& p,
                      double& r, Visit&& visit) {
  const double here[3] = {reducedCoordinate(p.x), reducedCoordinate(p.y), reducedCoordinate(p.z)};
  // Relative slack for the rounding of the bounds against the metric's figure.
  auto slack = [](double v) { return v * (1 + 1e-9) + 1e-12; };
  int lo[3], hi[3];
  bool whole[3];
  for (int i = 0; i < 3; ++i) {
    const int n = cells.bins[i];
    const double half = slack(r) / cells.planeSpacing[i];
    // A window as wide as the cell: every bin once, the difference rounded.
    whole[i] = !(half < 0.5);
    if (!whole[i]) {
      lo[i] = static_cast<int>(std::floor((here[i] - half) * n));
      hi[i] = static_cast<int>(std::floor((here[i] + half) * n));
      whole[i] = hi[i] - lo[i] + 1 >= n;
    }
    if (whole[i]) lo[i] = 0, hi[i] = n - 1;
  }
  // Each axis walks its window as (bin, lattice shift), the bin wrapping
  // round the cell.
  int first[3];
  double firstShift[3];
  for (int i = 0; i < 3; ++i) {
    const int n = cells.bins[i];
    const int wrap = lo[i] >= 0 ? lo[i] / n : -((-lo[i] + n - 1) / n);
    first[i] = lo[i] - wrap * n;
    firstShift[i] = double(wrap) - here[i];
  }
  auto step = [&](int axis, int& index, double& shift) {
    if (++index == cells.bins[axis]) index = 0, shift += 1;
  };
  int k = first[2];
  double shiftK = firstShift[2];
  for (int bk = lo[2]; bk <= hi[2]; ++bk, step(2, k, shiftK)) {
    int j = first[1];
    double shiftJ = firstShift[1];
    for (int bj = lo[1]; bj <= hi[1]; ++bj, step(1, j, shiftJ)) {
      int i = first[0];
      double shiftI = firstShift[0];
      for (int bi = lo[0]; bi <= hi[0]; ++bi, step(0, i, shiftI)) {
        const int b = cells.binIndex(i, j, k);
        const double shift[3] = {shiftI, shiftJ, shiftK};
        for (std::int32_t n = cells.binStart[b]; n < cells.binStart[b + 1]; ++n) {
          const Position& q = cells.reduced[n];
          const double u[3] = {q.x, q.y, q.z};
          const double bound = slack(r);
          bool far = false;
          for (int axis = 0; axis < 3 && !far; ++axis) {
            double d = u[axis] + shift[axis];
            if (whole[axis]) d -= std::round(d);
            far = std::fabs(d) * cells.planeSpacing[axis] > bound;
          }
          if (far) continue;
          const double distance = nearestImageDistance(cell, p, cells.binned[n]);
          if (distance <= r) visit(cells.order[n], distance);
        }
      }
    }
  }
}

// Points added one at a time and found again near a point, for merging
// points that coincide within a small tolerance (Angstrom) as they come: bins
// of the reduced coordinates at least twice the tolerance wide across the
// lattice planes, held only where a point fell, so that a point within the
// tolerance of another lies in its bin or a neighbouring one.
class GrowingBins {
public:
  GrowingBins(const CellGeometry& cell, double tolerance);
  void add(const Position& p, std::size_t id);
  // Calls visit(id) for every id added with a point in the bins around p:
  // every point within the tolerance of p modulo the lattice, and others; an
  // id added twice in one bin may be visited twice.
  template <typename Visit> void forEachCandidate(const Position& p, Visit&& visit) const {
    const std::array<std::int64_t, 3> b = binOf(p);
    std::int64_t seen[27];
    int count = 0;
    for (std::int64_t dk = -1; dk <= 1; ++dk)
      for (std::int64_t dj = -1; dj <= 1; ++dj)
        for (std::int64_t di = -1; di <= 1; ++di) {
          const std::int64_t k = key(b[0] + di, b[1] + dj, b[2] + dk);
          // Fewer than three bins along an edge meet one bin twice.
          if (std::find(seen, seen + count, k) != seen + count) continue;
          seen[count++] = k;
          const auto found = ids_.find(k);
          if (found == ids_.end()) continue;
          for (std::size_t id : found->second)
            visit(id);
        }
  }

private:
  std::array<std::int64_t, 3> binOf(const Position& p) const;
  std::int64_t key(std::int64_t i, std::int64_t j, std::int64_t k) const;
  std::array<std::int64_t, 3> bins_{};
  std::unordered_map<std::int64_t, std::vector<std::size_t>> ids_; // by bin
};

// A bound of every nearestImageDistance in the cell: the rounded difference
// is at most half of each edge, so (a + b + c) / 2 and a little to spare.
inline double farthestImageDistance(const CellGeometry& cell) {
  return (cell.a + cell.b + cell.c) / 2 * (1 + 1e-9);
}

// A first search radius for the nearest neighbours of `count` points spread
// over the cell: one and a half times the edge of the volume per point.
double typicalSpacing(const CellGeometry& cell, std::size_t count);

} // namespace telva
