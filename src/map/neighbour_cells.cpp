#include "map/neighbour_cells.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <tuple>

namespace telva {

namespace {

// Cells along one axis, and in all.
constexpr int maxCellsPerAxis = 128;
constexpr std::size_t maxCells = std::size_t(1) << 20;
// The search boxes are widened by this fraction, so that rounding in the
// distance never hides an image that lies on the edge of a box.
constexpr double boxSlack = 1e-9;
// Images of one site this close (fractional) are the same point: only the
// first of them in visiting order is kept.
constexpr double samePoint = 1e-9;

bool insideCell(const Position& p) {
  return p.x >= 0 && p.x <= 1 && p.y >= 0 && p.y <= 1 && p.z >= 0 && p.z <= 1;
}

} // namespace

NeighbourCells buildNeighbourCells(const PositionContext& context) {
  NeighbourCells cells;
  const CellGeometry& g = context.geometry;
  const bool companions = hasInversionCompanions(context.inversionAtOrigin);
  const std::size_t images = context.sites.size() * context.symOps.size() * (companions ? 2 : 1);
  // The spacing of the images if they were spread evenly.
  cells.firstRadius = std::cbrt(g.volume / double(std::max<std::size_t>(images, 1)));
  cells.reach = std::max(context.radius, 4 * cells.firstRadius);
  const double star[3] = {g.aStar, g.bStar, g.cStar};
  double margin[3];
  std::size_t total = 1;
  for (int axis = 0; axis < 3; ++axis) {
    margin[axis] = cells.reach * star[axis] * (1 + boxSlack);
    cells.lower[axis] = -margin[axis];
    const double span = 1 + 2 * margin[axis];
    const double wanted = std::ceil(span / (cells.firstRadius * star[axis]));
    cells.cells[axis] = static_cast<int>(std::clamp(wanted, 1.0, double(maxCellsPerAxis)));
    total *= cells.cells[axis];
  }
  while (total > maxCells) {
    total = 1;
    for (int axis = 0; axis < 3; ++axis) {
      cells.cells[axis] = std::max(1, cells.cells[axis] / 2);
      total *= cells.cells[axis];
    }
  }
  for (int axis = 0; axis < 3; ++axis)
    cells.width[axis] = (1 + 2 * margin[axis]) / cells.cells[axis];

  // Every shifted image within the box, in visiting order.
  std::vector<NeighbourCells::Candidate> held;
  long long order = 0;
  auto add = [&](int site, const Position& image) {
    for (int na = -1; na <= 1; ++na)
      for (int nb = -1; nb <= 1; ++nb)
        for (int nc = -1; nc <= 1; ++nc, ++order) {
          const double at[3] = {image.x - na, image.y - nb, image.z - nc};
          bool inBox = true;
          for (int axis = 0; axis < 3; ++axis)
            inBox = inBox && at[axis] >= -margin[axis] && at[axis] <= 1 + margin[axis];
          if (inBox) held.push_back({image.x, image.y, image.z, na, nb, nc, site, order});
        }
  };
  for (int j = 0; j < static_cast<int>(context.sites.size()); ++j) {
    const Site& site = context.sites[j];
    for (const SymOp& op : context.symOps) {
      const Position image = applyToPosition(op, site.x, site.y, site.z);
      add(j, image);
      if (companions) add(j, {-image.x, -image.y, -image.z});
    }
  }
  // One candidate per point of each site: the first in visiting order.
  auto key = [](const NeighbourCells::Candidate& c) {
    return std::make_tuple(c.site, std::llround((c.x - c.na) / samePoint),
                           std::llround((c.y - c.nb) / samePoint),
                           std::llround((c.z - c.nc) / samePoint), c.order);
  };
  std::sort(held.begin(), held.end(),
            [&](const auto& p, const auto& q) { return key(p) < key(q); });
  held.erase(std::unique(held.begin(), held.end(),
                         [&](const auto& p, const auto& q) {
                           return std::get<0>(key(p)) == std::get<0>(key(q)) &&
                                  std::get<1>(key(p)) == std::get<1>(key(q)) &&
                                  std::get<2>(key(p)) == std::get<2>(key(q)) &&
                                  std::get<3>(key(p)) == std::get<3>(key(q));
                         }),
             held.end());

  // Sorted into the cells by counting.
  auto cellOf = [&](const NeighbourCells::Candidate& c) {
    const double at[3] = {c.x - c.na, c.y - c.nb, c.z - c.nc};
    std::size_t index = 0;
    for (int axis = 0; axis < 3; ++axis) {
      const int n = std::clamp(static_cast<int>((at[axis] - cells.lower[axis]) / cells.width[axis]),
                               0, cells.cells[axis] - 1);
      index = index * cells.cells[axis] + n;
    }
    return index;
  };
  cells.cellStart.assign(total + 1, 0);
  for (const auto& c : held)
    ++cells.cellStart[cellOf(c) + 1];
  for (std::size_t c = 0; c < total; ++c)
    cells.cellStart[c + 1] += cells.cellStart[c];
  cells.candidates.resize(held.size());
  std::vector<std::size_t> next(cells.cellStart.begin(), cells.cellStart.end() - 1);
  for (const auto& c : held)
    cells.candidates[next[cellOf(c)]++] = c;
  return cells;
}

Neighbour cellNeighbour(const NeighbourCells& cells, const PositionContext& context,
                        const Position& point) {
  if (!insideCell(point) || context.radius > cells.reach) return findNeighbour(context, point);
  const CellGeometry& g = context.geometry;
  const double star[3] = {g.aStar, g.bStar, g.cStar};
  const double at[3] = {point.x, point.y, point.z};
  // Visits every candidate within `radius` of the point (and some beyond);
  // false when the box around the point leaves the cells.
  auto scan = [&](double radius, auto&& visit) {
    int first[3], last[3];
    for (int axis = 0; axis < 3; ++axis) {
      const double half = radius * star[axis] * (1 + boxSlack) + boxSlack;
      const double lo = at[axis] - half - cells.lower[axis];
      const double hi = at[axis] + half - cells.lower[axis];
      if (lo < 0 || hi > cells.width[axis] * cells.cells[axis]) return false;
      first[axis] = std::clamp(static_cast<int>(lo / cells.width[axis]), 0, cells.cells[axis] - 1);
      last[axis] = std::clamp(static_cast<int>(hi / cells.width[axis]), 0, cells.cells[axis] - 1);
    }
    for (int i = first[0]; i <= last[0]; ++i)
      for (int j = first[1]; j <= last[1]; ++j) {
        const std::size_t row = (std::size_t(i) * cells.cells[1] + j) * cells.cells[2];
        for (std::size_t c = cells.cellStart[row + first[2]];
             c < cells.cellStart[row + last[2] + 1]; ++c) {
          const NeighbourCells::Candidate& n = cells.candidates[c];
          // The distance exactly as findNeighbour forms it.
          visit(n, directDistance(g, (point.x - n.x) + n.na, (point.y - n.y) + n.nb,
                                  (point.z - n.z) + n.nc));
        }
      }
    return true;
  };
  // The first image closer than R in visiting order.
  const NeighbourCells::Candidate* best = nullptr;
  double bestDistance = std::numeric_limits<double>::infinity();
  bool covered = scan(context.radius, [&](const NeighbourCells::Candidate& n, double d) {
    if (d < context.radius && (!best || n.order < best->order)) {
      best = &n;
      bestDistance = d;
    }
  });
  if (!covered) return findNeighbour(context, point);
  if (best) return {best->site, bestDistance, true};
  // Else the nearest image, the first in visiting order among equals.
  for (double radius = cells.firstRadius;; radius = std::min(2 * radius, cells.reach)) {
    best = nullptr;
    bestDistance = std::numeric_limits<double>::infinity();
    covered = scan(radius, [&](const NeighbourCells::Candidate& n, double d) {
      if (d < bestDistance || (d == bestDistance && best && n.order < best->order)) {
        best = &n;
        bestDistance = d;
      }
    });
    if (!covered) break;
    if (best && bestDistance <= radius * (1 - boxSlack))
      return {best->site, bestDistance, bestDistance < context.radius};
    if (radius >= cells.reach) break;
  }
  return findNeighbour(context, point);
}

} // namespace telva
