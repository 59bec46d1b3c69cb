#include "crystal/near_pairs.hpp"

#include <algorithm>

namespace telva {

namespace {

// Counting sort of the points into the cells' bins, keeping the points' order
// within a bin: the indices by bin, and where each bin's run starts.
std::vector<std::int32_t> sortIntoBins(const NearCells& cells, std::span<const Position> points,
                                       std::vector<std::int32_t>& start) {
  const int binCount = cells.bins[0] * cells.bins[1] * cells.bins[2];
  std::vector<std::int32_t> binOf(points.size());
  for (std::size_t k = 0; k < points.size(); ++k)
    binOf[k] = cells.binIndex(nearBin(reducedCoordinate(points[k].x), cells.bins[0]),
                              nearBin(reducedCoordinate(points[k].y), cells.bins[1]),
                              nearBin(reducedCoordinate(points[k].z), cells.bins[2]));
  start.assign(std::size_t(binCount) + 1, 0);
  for (std::int32_t b : binOf)
    ++start[b + 1];
  for (int b = 0; b < binCount; ++b)
    start[b + 1] += start[b];
  std::vector<std::int32_t> next(start.begin(), start.end() - 1);
  std::vector<std::int32_t> order(points.size());
  for (std::size_t k = 0; k < points.size(); ++k)
    order[next[binOf[k]]++] = static_cast<std::int32_t>(k);
  return order;
}

} // namespace

NearCells buildNearCells(const CellGeometry& cell, std::span<const Position> points, double reach) {
  NearCells cells;
  cells.reach = reach;
  cells.planeSpacing = {1 / cell.aStar, 1 / cell.bStar, 1 / cell.cStar};
  // Bins half the reach across their planes, and no more than about four
  // per point in all.
  const double most = 4.0 * double(points.size()) + 64.0;
  std::array<double, 3> n{};
  for (int i = 0; i < 3; ++i)
    n[i] = std::clamp(std::floor(2 * cells.planeSpacing[i] / reach), 1.0, 1.0e6);
  while (n[0] * n[1] * n[2] > most) {
    const int widest = int(std::max_element(n.begin(), n.end()) - n.begin());
    n[widest] = std::max(1.0, std::floor(n[widest] / 2));
  }
  for (int i = 0; i < 3; ++i)
    cells.bins[i] = static_cast<int>(n[i]);

  cells.order = sortIntoBins(cells, points, cells.binStart);
  const std::vector<std::int32_t>& sorted = cells.order;
  cells.binned.resize(points.size());
  cells.reduced.resize(points.size());
  for (std::size_t n = 0; n < sorted.size(); ++n) {
    const Position& p = points[sorted[n]];
    cells.binned[n] = p;
    cells.reduced[n] = {reducedCoordinate(p.x), reducedCoordinate(p.y), reducedCoordinate(p.z)};
  }
  return cells;
}

std::vector<std::int32_t> binOrder(const NearCells& cells, std::span<const Position> points) {
  std::vector<std::int32_t> start;
  return sortIntoBins(cells, points, start);
}

double typicalSpacing(const CellGeometry& cell, std::size_t count) {
  return 1.5 * std::cbrt(cell.volume / double(std::max<std::size_t>(count, 1)));
}

GrowingBins::GrowingBins(const CellGeometry& cell, double tolerance) {
  const double spacing[3] = {1 / cell.aStar, 1 / cell.bStar, 1 / cell.cStar};
  for (int i = 0; i < 3; ++i)
    bins_[i] = std::int64_t(std::clamp(std::floor(spacing[i] / (2 * tolerance)), 1.0, 1.0e5));
}

std::array<std::int64_t, 3> GrowingBins::binOf(const Position& p) const {
  const double u[3] = {reducedCoordinate(p.x), reducedCoordinate(p.y), reducedCoordinate(p.z)};
  std::array<std::int64_t, 3> b{};
  for (int i = 0; i < 3; ++i)
    b[i] = std::min(std::int64_t(u[i] * double(bins_[i])), bins_[i] - 1);
  return b;
}

std::int64_t GrowingBins::key(std::int64_t i, std::int64_t j, std::int64_t k) const {
  auto wrap = [](std::int64_t v, std::int64_t n) { return ((v % n) + n) % n; };
  return wrap(i, bins_[0]) + bins_[0] * (wrap(j, bins_[1]) + bins_[1] * wrap(k, bins_[2]));
}

void GrowingBins::add(const Position& p, std::size_t id) {
  const std::array<std::int64_t, 3> b = binOf(p);
  std::vector<std::size_t>& list = ids_[key(b[0], b[1], b[2])];
  if (list.empty() || list.back() != id) list.push_back(id);
}

} // namespace telva
