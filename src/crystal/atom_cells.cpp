#include "crystal/atom_cells.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>

#include "base/fault.hpp"

namespace telva {

namespace {

Vec3 cross(const Vec3& u, const Vec3& v) {
  return {u[1] * v[2] - u[2] * v[1], u[2] * v[0] - u[0] * v[2], u[0] * v[1] - u[1] * v[0]};
}

double dot(const Vec3& u, const Vec3& v) {
  return u[0] * v[0] + u[1] * v[1] + u[2] * v[2];
}

// A coordinate reduced into [0, 1).
double reduced(double u) {
  const double r = u - std::floor(u);
  return r >= 1.0 ? 0.0 : r;
}

// Whether two fractional positions are the same point of the lattice.
bool coincide(const Position& p, const Position& q) {
  const double d[3] = {p.x - q.x, p.y - q.y, p.z - q.z};
  for (double v : d)
    if (std::fabs(v - std::round(v)) >= coincidentFraction) return false;
  return true;
}

// Fractions of each edge by which the cell is widened so that every point
// within `reach` of the cell lies inside: reach over the plane spacing.
Vec3 padding(const CellFrame& frame, double reach) {
  Vec3 pad{};
  for (int i = 0; i < 3; ++i)
    pad[i] = reach / frame.planeSpacing[i] + 1e-9;
  return pad;
}

// The lattice shifts n along one edge that keep u + n within [-pad, 1 + pad].
std::array<int, 2> shiftRange(double u, double pad) {
  return {static_cast<int>(std::ceil(-pad - u)), static_cast<int>(std::floor(1.0 + pad - u))};
}

void checkReach(double reach) {
  if (!std::isfinite(reach) || !(reach > 0))
    throw Fault{faults::invalidValue, "the reach of the atom search is " + std::to_string(reach) +
                                          " A: give a positive finite distance"};
}

} // namespace

CellFrame cellFrame(const CellGeometry& g) {
  const double sinGamma = std::sqrt(1.0 - g.cosGamma * g.cosGamma);
  const double cy = (g.cosAlpha - g.cosBeta * g.cosGamma) / sinGamma;
  const double cz = std::sqrt(std::max(0.0, 1.0 - g.cosBeta * g.cosBeta - cy * cy));
  CellFrame frame;
  frame.edges = {Vec3{g.a, 0, 0}, Vec3{g.b * g.cosGamma, g.b * sinGamma, 0},
                 Vec3{g.c * g.cosBeta, g.c * cy, g.c * cz}};
  const auto& e = frame.edges;
  const double volume = dot(e[0], cross(e[1], e[2]));
  const std::array<Vec3, 3> normals = {cross(e[1], e[2]), cross(e[2], e[0]), cross(e[0], e[1])};
  for (int i = 0; i < 3; ++i) {
    for (int j = 0; j < 3; ++j)
      frame.inverse[i][j] = normals[i][j] / volume;
    frame.planeSpacing[i] = volume / std::sqrt(dot(normals[i], normals[i]));
  }
  return frame;
}

Vec3 toCartesian(const CellFrame& frame, const Position& f) {
  const auto& e = frame.edges;
  return {f.x * e[0][0] + f.y * e[1][0] + f.z * e[2][0],
          f.x * e[0][1] + f.y * e[1][1] + f.z * e[2][1],
          f.x * e[0][2] + f.y * e[1][2] + f.z * e[2][2]};
}

Position toFractional(const CellFrame& frame, const Vec3& r) {
  return {dot(frame.inverse[0], r), dot(frame.inverse[1], r), dot(frame.inverse[2], r)};
}

std::vector<AtomImage> cellAtoms(const Crystal& crystal, const CellFrame& frame) {
  std::vector<AtomImage> atoms;
  const bool companions = hasInversionCompanions(crystal.inversionAtOrigin);
  std::vector<Position> seen;
  std::vector<double> weights;
  for (int s = 0; s < static_cast<int>(crystal.sites.size()); ++s) {
    const Site& site = crystal.sites[s];
    seen.clear();
    weights.clear();
    auto add = [&](const Position& p) {
      const Position r{reduced(p.x), reduced(p.y), reduced(p.z)};
      for (std::size_t i = 0; i < seen.size(); ++i)
        if (coincide(seen[i], r)) {
          weights[i] += site.W;
          return;
        }
      seen.push_back(r);
      weights.push_back(site.W);
    };
    for (const SymOp& op : crystal.symOps) {
      const Position image = applyToPosition(op, site.x, site.y, site.z);
      add(image);
      if (companions) add({-image.x, -image.y, -image.z});
    }
    for (std::size_t i = 0; i < seen.size(); ++i)
      atoms.push_back({toCartesian(frame, seen[i]), s, site.charge * weights[i]});
  }
  return atoms;
}

Vec3 cellShift(const CellFrame& frame, const Vec3& point) {
  const Position f = toFractional(frame, point);
  return toCartesian(frame, {std::floor(f.x), std::floor(f.y), std::floor(f.z)});
}

std::int64_t atomImageCount(const Crystal& crystal, double reach) {
  checkReach(reach);
  const CellFrame frame = cellFrame(buildCellGeometry(crystal.lattice, 0.0));
  const Vec3 pad = padding(frame, reach);
  // Beyond this the count saturates (no memory holds that many images).
  constexpr double most = 9.0e18;
  for (double p : pad)
    if (!(p < 1e6)) return std::int64_t(most);
  double count = 0;
  for (const AtomImage& atom : cellAtoms(crystal, frame)) {
    const Position f = toFractional(frame, atom.r);
    double product = 1;
    for (auto [u, i] : {std::pair{f.x, 0}, std::pair{f.y, 1}, std::pair{f.z, 2}}) {
      const auto [lo, hi] = shiftRange(u, pad[i]);
      product *= double(hi - lo + 1);
    }
    count += product;
  }
  return std::int64_t(std::min(count, most));
}

AtomCells buildAtomCells(const Crystal& crystal, double reach) {
  checkReach(reach);
  if (atomImageCount(crystal, reach) > std::int64_t(std::numeric_limits<std::int32_t>::max()))
    throw Fault{faults::outOfMemory, "the atoms within " + std::to_string(reach) +
                                         " A of the cell are too many to hold: reduce the reach"};
  AtomCells cells;
  cells.frame = cellFrame(buildCellGeometry(crystal.lattice, 0.0));
  cells.reach = reach;
  cells.atoms = cellAtoms(crystal, cells.frame);
  const Vec3 pad = padding(cells.frame, reach);

  // Every atom's lattice shifts that stay within reach of the cell.
  std::vector<AtomImage> images;
  for (const AtomImage& atom : cells.atoms) {
    const Position f = toFractional(cells.frame, atom.r);
    const auto [a0, a1] = shiftRange(f.x, pad[0]);
    const auto [b0, b1] = shiftRange(f.y, pad[1]);
    const auto [c0, c1] = shiftRange(f.z, pad[2]);
    for (int nc = c0; nc <= c1; ++nc)
      for (int nb = b0; nb <= b1; ++nb)
        for (int na = a0; na <= a1; ++na) {
          const Vec3 t = toCartesian(cells.frame, {double(na), double(nb), double(nc)});
          images.push_back(
              {{atom.r[0] + t[0], atom.r[1] + t[1], atom.r[2] + t[2]}, atom.site, atom.charge});
        }
  }

  // Bins of edge reach / 2 over the images' bounding box, coarser when that
  // would make more bins than max(images, 4096).
  Vec3 lo{0, 0, 0}, hi{0, 0, 0};
  if (!images.empty()) lo = hi = images.front().r;
  for (const AtomImage& image : images)
    for (int i = 0; i < 3; ++i) {
      lo[i] = std::min(lo[i], image.r[i]);
      hi[i] = std::max(hi[i], image.r[i]);
    }
  const double maxBins = std::max<double>(4096, double(images.size()));
  const Vec3 extent{hi[0] - lo[0], hi[1] - lo[1], hi[2] - lo[2]};
  double edge = reach / 2;
  while ((std::floor(extent[0] / edge) + 1) * (std::floor(extent[1] / edge) + 1) *
             (std::floor(extent[2] / edge) + 1) >
         maxBins)
    edge *= 1.25;
  cells.origin = lo;
  cells.binEdge = edge;
  for (int i = 0; i < 3; ++i)
    cells.bins[i] = static_cast<int>(std::floor(extent[i] / edge)) + 1;

  // Counting sort into the bins, keeping the generation order within a bin.
  const int binCount = cells.bins[0] * cells.bins[1] * cells.bins[2];
  auto binOf = [&](const AtomImage& image) {
    int n[3];
    for (int i = 0; i < 3; ++i)
      n[i] = std::clamp(static_cast<int>(std::floor((image.r[i] - lo[i]) / edge)), 0,
                        cells.bins[i] - 1);
    return cells.binIndex(n[0], n[1], n[2]);
  };
  cells.binStart.assign(std::size_t(binCount) + 1, 0);
  for (const AtomImage& image : images)
    ++cells.binStart[binOf(image) + 1];
  for (int b = 0; b < binCount; ++b)
    cells.binStart[b + 1] += cells.binStart[b];
  std::vector<std::int32_t> next(cells.binStart.begin(), cells.binStart.end() - 1);
  cells.images.resize(images.size());
  for (const AtomImage& image : images)
    cells.images[next[binOf(image)]++] = image;
  return cells;
}

std::vector<AtomHit> atomsWithin(const AtomCells& cells, const Vec3& point, double r) {
  std::vector<AtomHit> hits;
  const Vec3 shift = cellShift(cells.frame, point);
  forEachAtomWithin(cells, point, r, [&](const AtomImage& image, double d2) {
    hits.push_back({image.site,
                    std::sqrt(d2),
                    image.charge,
                    {image.r[0] + shift[0], image.r[1] + shift[1], image.r[2] + shift[2]}});
  });
  std::stable_sort(hits.begin(), hits.end(),
                   [](const AtomHit& a, const AtomHit& b) { return a.distance < b.distance; });
  return hits;
}

std::optional<AtomHit> nearestAtom(const AtomCells& cells, const Vec3& point) {
  std::optional<AtomHit> best;
  const Vec3 shift = cellShift(cells.frame, point);
  forEachAtomWithin(cells, point, cells.reach, [&](const AtomImage& image, double d2) {
    const double d = std::sqrt(d2);
    if (!best || d < best->distance)
      best = AtomHit{image.site,
                     d,
                     image.charge,
                     {image.r[0] + shift[0], image.r[1] + shift[1], image.r[2] + shift[2]}};
  });
  if (best || cells.atoms.empty()) return best;
  // Nothing within reach: each atom's image nearest the point in fractional
  // terms, and the 26 cells around it.
  const Position f = toFractional(cells.frame, point);
  for (const AtomImage& atom : cells.atoms) {
    const Position a = toFractional(cells.frame, atom.r);
    const double n[3] = {std::round(f.x - a.x), std::round(f.y - a.y), std::round(f.z - a.z)};
    for (int i = -1; i <= 1; ++i)
      for (int j = -1; j <= 1; ++j)
        for (int k = -1; k <= 1; ++k) {
          const Vec3 t = toCartesian(cells.frame, {n[0] + i, n[1] + j, n[2] + k});
          const Vec3 r{atom.r[0] + t[0], atom.r[1] + t[1], atom.r[2] + t[2]};
          const double dx = point[0] - r[0], dy = point[1] - r[1], dz = point[2] - r[2];
          const double d = std::sqrt(dx * dx + dy * dy + dz * dz);
          if (!best || d < best->distance) best = AtomHit{atom.site, d, atom.charge, r};
        }
  }
  return best;
}

} // namespace telva
