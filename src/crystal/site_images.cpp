#include "crystal/site_images.hpp"

#include <cmath>
#include <limits>

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

ClosestPair closestChargedPair(const Crystal& crystal, double tolerance) {
  const CellGeometry cell = buildCellGeometry(crystal.lattice, 0);
  const int n = static_cast<int>(crystal.sites.size());
  std::vector<std::vector<Position>> images(n);
  for (int i = 0; i < n; ++i)
    if (crystal.sites[i].charge != 0) images[i] = siteImages(crystal, cell, i, tolerance);
  ClosestPair best{std::numeric_limits<double>::infinity(), -1, -1};
  // Every atom is the image of its site's first image under some operation,
  // so the distances from the first images to all atoms are all distances.
  for (int i = 0; i < n; ++i) {
    if (images[i].empty()) continue;
    for (int j = 0; j < n; ++j)
      for (const Position& q : images[j]) {
        const double d = nearestImageDistance(cell, images[i][0], q);
        if (d >= tolerance && d < best.distance) best = {d, i, j};
      }
  }
  return best;
}

} // namespace telva
