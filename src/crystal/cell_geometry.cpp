#include "crystal/cell_geometry.hpp"

#include <algorithm>
#include <cmath>
#include <limits>

namespace telva {

namespace {

// The six terms of a metric, for edges a, b, c and the cosines of the angles
// between b and c, a and c, a and b: a^2, b^2, c^2, 2ab cos gamma,
// 2ac cos beta, 2bc cos alpha.
std::array<double, 6> metric(double a, double b, double c, double cosAlpha, double cosBeta,
                             double cosGamma) {
  return {
      a * a, b * b, c * c, 2.0 * a * b * cosGamma, 2.0 * a * c * cosBeta, 2.0 * b * c * cosAlpha};
}

constexpr double degree = 0.017453292519943295; // pi / 180

// Step 1: angles in degrees when p4 >= 1, else the cosines themselves. Only
// p4 decides; p5 and p6 take its form.
std::array<double, 3> angleCosines(const std::array<double, 6>& p) {
  if (p[3] >= 1.0)
    return {std::cos(p[3] * degree), std::cos(p[4] * degree), std::cos(p[5] * degree)};
  return {p[3], p[4], p[5]};
}

// 1 - cos^2 alpha - cos^2 beta - cos^2 gamma + 2 cos alpha cos beta cos gamma,
// the square of the volume of the cell with unit edges.
double unitVolumeSquared(double ca, double cb, double cg) {
  return (((1.0 - ca * ca) - cb * cb) - cg * cg) + 2.0 * ca * cb * cg;
}

// a * qmax truncated toward zero, saturated at the 32-bit range.
std::int32_t indexLimit(double length, double qmax) {
  const double limit = std::trunc(length * qmax);
  if (std::isnan(limit)) return 0;
  if (limit >= 2147483647.0) return std::numeric_limits<std::int32_t>::max();
  if (limit <= -2147483648.0) return std::numeric_limits<std::int32_t>::min();
  return static_cast<std::int32_t>(limit);
}

std::int64_t boxEntries(std::int32_t hmax, std::int32_t kmax, std::int32_t lmax) {
  const __int128 product =
      (2 * __int128(hmax) + 1) * (2 * __int128(kmax) + 1) * (__int128(lmax) + 1);
  constexpr auto top = std::numeric_limits<std::int64_t>::max();
  constexpr auto bottom = std::numeric_limits<std::int64_t>::min();
  if (product > top) return top;
  if (product < bottom) return bottom;
  return static_cast<std::int64_t>(product);
}

} // namespace

bool describesCell(const std::array<double, 6>& p) {
  for (int i = 0; i < 3; ++i)
    if (!std::isfinite(p[i]) || !(p[i] > 0)) return false;
  const auto [ca, cb, cg] = angleCosines(p);
  for (double cosine : {ca, cb, cg})
    if (!std::isfinite(cosine) || !(std::fabs(cosine) < 1.0)) return false;
  return unitVolumeSquared(ca, cb, cg) > 0;
}

CellGeometry buildCellGeometry(const std::array<double, 6>& p, double qmax) {
  const auto [ca, cb, cg] = angleCosines(p);
  const double sa = std::sqrt(1.0 - ca * ca);
  const double sb = std::sqrt(1.0 - cb * cb);
  const double sg = std::sqrt(1.0 - cg * cg);
  const double volume = p[0] * p[1] * p[2] * std::sqrt(unitVolumeSquared(ca, cb, cg));

  // The reciprocal of the cell the parameters describe; the same formulas turn
  // a reciprocal cell back into the direct one.
  const double other[3] = {p[1] * p[2] * sa / volume, p[0] * p[2] * sb / volume,
                           p[0] * p[1] * sg / volume};
  const double otherCos[3] = {(cb * cg - ca) / (sb * sg), (ca * cg - cb) / (sg * sa),
                              (ca * cb - cg) / (sa * sb)};

  CellGeometry g;
  if (p[0] < 1.0) {
    g.a = other[0], g.b = other[1], g.c = other[2];
    g.cosAlpha = otherCos[0], g.cosBeta = otherCos[1], g.cosGamma = otherCos[2];
    g.volume = 1.0 / volume;
    g.aStar = p[0], g.bStar = p[1], g.cStar = p[2];
    g.cosAlphaStar = ca, g.cosBetaStar = cb, g.cosGammaStar = cg;
  } else {
    g.a = p[0], g.b = p[1], g.c = p[2];
    g.cosAlpha = ca, g.cosBeta = cb, g.cosGamma = cg;
    g.volume = volume;
    g.aStar = other[0], g.bStar = other[1], g.cStar = other[2];
    g.cosAlphaStar = otherCos[0], g.cosBetaStar = otherCos[1], g.cosGammaStar = otherCos[2];
  }

  g.hmax = indexLimit(g.a, qmax);
  g.kmax = indexLimit(g.b, qmax);
  g.lmax = indexLimit(g.c, qmax);
  g.requiredEntries = boxEntries(g.hmax, g.kmax, g.lmax);

  g.recipMetric = metric(g.aStar, g.bStar, g.cStar, g.cosAlphaStar, g.cosBetaStar, g.cosGammaStar);
  g.directMetric = metric(g.a, g.b, g.c, g.cosAlpha, g.cosBeta, g.cosGamma);
  return g;
}

double recipRowTerm(const CellGeometry& g, double k, double l) {
  const auto& m = g.recipMetric;
  return (m[1] * k + m[5] * l) * k + m[2] * l * l;
}

double recipLengthSquaredInRow(const CellGeometry& g, double h, double k, double l,
                               double rowTerm) {
  const auto& m = g.recipMetric;
  return (m[0] * h + m[3] * k + m[4] * l) * h + rowTerm;
}

double recipLengthSquared(const CellGeometry& g, double h, double k, double l) {
  return recipLengthSquaredInRow(g, h, k, l, recipRowTerm(g, k, l));
}

double directDistanceSquared(const CellGeometry& g, double dx, double dy, double dz) {
  const auto& m = g.directMetric;
  return (m[0] * (dx * dx) + (m[1] * dy + m[3] * dx) * dy) +
         ((m[2] * dz + m[5] * dy) + m[4] * dx) * dz;
}

double directDistance(const CellGeometry& g, double dx, double dy, double dz) {
  return std::sqrt(directDistanceSquared(g, dx, dy, dz));
}

double nearestImageDistance(const CellGeometry& g, const Position& p, const Position& q) {
  double d[3] = {q.x - p.x, q.y - p.y, q.z - p.z};
  for (double& v : d)
    v -= std::round(v);
  // In an oblique cell the nearest image need not be the rounded difference:
  // its neighbours along each axis are looked at too.
  // The square roots of the 27 squares, as directDistance forms them, are
  // ordered as the squares are (a correctly rounded square root is
  // monotonic), so the root of the least square is the least distance bit for
  // bit; a square rounded below zero has no root and is passed over.
  double best = std::numeric_limits<double>::infinity();
  for (int i = -1; i <= 1; ++i)
    for (int j = -1; j <= 1; ++j)
      for (int k = -1; k <= 1; ++k) {
        const double square = directDistanceSquared(g, d[0] + i, d[1] + j, d[2] + k);
        if (!(square < 0)) best = std::min(best, square);
      }
  return std::sqrt(best);
}

double largestRange(const std::array<double, 6>& lattice, std::int64_t entries) {
  auto fits = [&](double range) {
    return buildCellGeometry(lattice, range).requiredEntries <= entries;
  };
  double lo = 0, hi = 1;
  while (fits(hi) && std::isfinite(hi))
    hi *= 2;
  if (!std::isfinite(hi)) return std::numeric_limits<double>::max();
  for (int i = 0; i < 200 && std::nextafter(lo, hi) < hi; ++i) {
    const double mid = lo + (hi - lo) / 2;
    if (mid <= lo || mid >= hi) break;
    (fits(mid) ? lo : hi) = mid;
  }
  return lo;
}

} // namespace telva
