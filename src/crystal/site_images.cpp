#include "crystal/site_images.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>

#include "crystal/near_pairs.hpp"

namespace telva {

namespace {

double reduced(double v) {
  const double r = v - std::floor(v);
  return r >= 1.0 ? 0.0 : r;
}

} // namespace

std::vector<Position> siteImages(const Crystal& crystal, const CellGeometry& cell, int site,
                                 double tolerance) {
  const Site& s = crystal.sites[site];
  std::vector<Position> images;
  auto keep = [&](const Position& p) {
    const Position image{reduced(p.x), reduced(p.y), reduced(p.z)};
    for (const Position& q : images)
      if (nearestImageDistance(cell, image, q) < tolerance) return;
    images.push_back(image);
  };
  for (const SymOp& op : crystal.symOps) {
    const Position image = applyToPosition(op, s.x, s.y, s.z);
    keep(image);
    if (crystal.inversionAtOrigin) keep({-image.x, -image.y, -image.z});
  }
  return images;
}

SiteGeometry siteGeometry(const Crystal& crystal, double tolerance) {
  const CellGeometry cell = buildCellGeometry(crystal.lattice, 0);
  const int n = static_cast<int>(crystal.sites.size());
  SiteGeometry out;
  out.multiplicities.resize(n);
  // Every charged atom, and the first image of each charged site.
  std::vector<Position> atoms;
  std::vector<int> siteOf;
  std::vector<std::pair<int, Position>> anchors;
  for (int i = 0; i < n; ++i) {
    const std::vector<Position> images = siteImages(crystal, cell, i, tolerance);
    out.multiplicities[i] = static_cast<int>(images.size());
    if (crystal.sites[i].charge == 0 || images.empty()) continue;
    anchors.push_back({i, images.front()});
    for (const Position& q : images) {
      atoms.push_back(q);
      siteOf.push_back(i);
    }
  }
  // Every atom is the image of its site's first image under some operation,
  // so the distances from the first images to all atoms are all distances.
  // Of equal distances the pair (first, second) that comes first in the
  // sites' order is kept. The search radius grows until a pair lies within
  // it, or until it takes in every pair (beyond farthestImageDistance).
  ClosestPair& best = out.closest;
  best = {std::numeric_limits<double>::infinity(), -1, -1};
  if (anchors.empty()) return out;
  for (double reach = typicalSpacing(cell, atoms.size());; reach *= 2) {
    const NearCells cells = buildNearCells(cell, atoms, reach);
    std::vector<Position> anchorPoints;
    for (const auto& anchor : anchors)
      anchorPoints.push_back(anchor.second);
    for (std::int32_t a : binOrder(cells, anchorPoints)) {
      const auto& [i, p] = anchors[a];
      double radius = std::min(reach, best.distance);
      forEachPointNear(cells, cell, p, radius, [&](std::int32_t k, double d) {
        const int j = siteOf[k];
        if (d < tolerance) return;
        if (d < best.distance ||
            (d == best.distance && (i < best.first || (i == best.first && j < best.second)))) {
          best = {d, i, j};
          radius = d;
        }
      });
    }
    if (best.first >= 0 || reach > farthestImageDistance(cell)) return out;
  }
}

std::vector<int> siteMultiplicities(const Crystal& crystal, double tolerance) {
  const CellGeometry cell = buildCellGeometry(crystal.lattice, 0);
  std::vector<int> multiplicities(crystal.sites.size());
  for (std::size_t i = 0; i < crystal.sites.size(); ++i)
    multiplicities[i] = static_cast<int>(siteImages(crystal, cell, int(i), tolerance).size());
  return multiplicities;
}

ClosestPair closestChargedPair(const Crystal& crystal, double tolerance) {
  return siteGeometry(crystal, tolerance).closest;
}

} // namespace telva
