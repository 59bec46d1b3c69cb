#include "crystal/near_pairs.hpp"

#include <algorithm>

namespace telva {

NearCells buildNearCells(const CellGeometry& cell, std::span<const Position> points, double reach) {
  NearCells cells;
  cells.reach = reach;
  cells.planeSpacing = {1 / cell.aStar, 1 / cell.bStar, 1 / cell.cStar};
  // Bins no narrower than reach across their planes (with a little to spare
  // for rounding), and no more than about four per point in all.
  const double most = 4.0 * double(points.size()) + 64.0;
  std::array<double, 3> n{};
  for (int i = 0; i < 3; ++i)
    n[i] = std::max(1.0, std::floor(cells.planeSpacing[i] / (reach * (1 + 1e-6))));
  while (n[0] * n[1] * n[2] > most) {
    const int widest = int(std::max_element(n.begin(), n.end()) - n.begin());
    n[widest] = std::max(1.0, std::floor(n[widest] / 2));
  }
  for (int i = 0; i < 3; ++i)
    cells.bins[i] = static_cast<int>(n[i]);

  // Counting sort into the bins, keeping the points' order within a bin.
  const int binCount = cells.bins[0] * cells.bins[1] * cells.bins[2];
  std::vector<std::int32_t> binOf(points.size());
  for (std::size_t k = 0; k < points.size(); ++k)
    binOf[k] =
        cells.binIndex(nearBin(points[k].x, cells.bins[0]), nearBin(points[k].y, cells.bins[1]),
                       nearBin(points[k].z, cells.bins[2]));
  cells.binStart.assign(std::size_t(binCount) + 1, 0);
  for (std::int32_t b : binOf)
    ++cells.binStart[b + 1];
  for (int b = 0; b < binCount; ++b)
    cells.binStart[b + 1] += cells.binStart[b];
  std::vector<std::int32_t> next(cells.binStart.begin(), cells.binStart.end() - 1);
  cells.order.resize(points.size());
  for (std::size_t k = 0; k < points.size(); ++k)
    cells.order[next[binOf[k]]++] = static_cast<std::int32_t>(k);
  return cells;
}

double typicalSpacing(const CellGeometry& cell, std::size_t count) {
  return 1.5 * std::cbrt(cell.volume / double(std::max<std::size_t>(count, 1)));
}

} // namespace telva
