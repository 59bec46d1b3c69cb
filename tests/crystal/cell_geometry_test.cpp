#include "crystal/cell_geometry.hpp"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <random>
#include <string>

#include "listing/sections.hpp"
#include "records/record_files.hpp"

namespace telva {
namespace {

using Params = std::array<double, 6>;
using Vec = std::array<double, 3>;

constexpr double degree = 0.017453292519943295;
constexpr auto nan = std::numeric_limits<double>::quiet_NaN();
constexpr auto inf = std::numeric_limits<double>::infinity();
constexpr auto i32max = std::numeric_limits<std::int32_t>::max();
constexpr auto i32min = std::numeric_limits<std::int32_t>::min();
constexpr auto i64max = std::numeric_limits<std::int64_t>::max();
constexpr auto i64min = std::numeric_limits<std::int64_t>::min();

// A draw with a full 53-bit mantissa, the same on every standard library
// (the engine is portable, the standard distributions are not).
double uniform(std::mt19937& rng, double lo, double hi) {
  const double high = rng();
  const double low = rng();
  return lo + (hi - lo) * ((high + low / 4294967296.0) / 4294967296.0);
}

Vec cross(const Vec& u, const Vec& v) {
  return {u[1] * v[2] - u[2] * v[1], u[2] * v[0] - u[0] * v[2], u[0] * v[1] - u[1] * v[0]};
}
double dot(const Vec& u, const Vec& v) {
  return u[0] * v[0] + u[1] * v[1] + u[2] * v[2];
}
Vec combine(double x, const Vec& u, double y, const Vec& v, double z, const Vec& w) {
  return {x * u[0] + y * v[0] + z * w[0], x * u[1] + y * v[1] + z * w[1],
          x * u[2] + y * v[2] + z * w[2]};
}

// Cartesian edge vectors of the direct cell: a along x, b in the xy plane.
std::array<Vec, 3> cartesianEdges(const CellGeometry& g) {
  const double sinGamma = std::sqrt(1 - g.cosGamma * g.cosGamma);
  const double cy = (g.cosAlpha - g.cosBeta * g.cosGamma) / sinGamma;
  const double cz = std::sqrt(1 - g.cosBeta * g.cosBeta - cy * cy);
  return {Vec{g.a, 0, 0}, Vec{g.b * g.cosGamma, g.b * sinGamma, 0},
          Vec{g.c * g.cosBeta, g.c * cy, g.c * cz}};
}

// A random triclinic cell in degrees, angles 65..115, volume factor well away
// from zero, so that its reciprocal edges stay below 1/Angstrom.
Params randomCell(std::mt19937& rng) {
  for (;;) {
    Params p;
    for (int i = 0; i < 6; ++i)
      p[i] = i < 3 ? uniform(rng, 3, 15) : uniform(rng, 65, 115);
    const double ca = std::cos(p[3] * degree), cb = std::cos(p[4] * degree),
                 cg = std::cos(p[5] * degree);
    if (1 - ca * ca - cb * cb - cg * cg + 2 * ca * cb * cg > 0.3) return p;
  }
}

// Every real field, each with the size it is compared at.
std::array<double, 25> fields(const CellGeometry& g) {
  const auto& G = g.directMetric;
  const auto& m = g.recipMetric;
  // clang-format off
  return {g.a, g.b, g.c, g.cosAlpha, g.cosBeta, g.cosGamma, g.volume,
          g.aStar, g.bStar, g.cStar, g.cosAlphaStar, g.cosBetaStar, g.cosGammaStar,
          G[0], G[1], G[2], G[3], G[4], G[5], m[0], m[1], m[2], m[3], m[4], m[5]};
  // clang-format on
}

TEST(CellGeometry, KnownCellsInEveryForm) {
  const double hexVolume = 45 * std::sqrt(3.0) / 2; // 38.9711
  const double hexAStar = 2 / (3 * std::sqrt(3.0)); // 0.384900
  struct Case {
    const char* name;
    Params p;
    double qmax;
    std::array<double, 8> expected;     // a, b, c, V, a*, b*, c*, cos gamma*
    std::array<std::int64_t, 4> limits; // hmax, kmax, lmax, requiredEntries
  } cases[] = {
      // clang-format off
      {"cubic", {4, 4, 4, 90, 90, 90}, 1.5, {4, 4, 4, 64, .25, .25, .25, 0}, {6, 6, 6, 1183}},
      {"cubic, reciprocal", {.25, .25, .25, 90, 90, 90}, 1.5,
       {4, 4, 4, 64, .25, .25, .25, 0}, {6, 6, 6, 1183}},
      {"hexagonal, degrees", {3, 3, 5, 90, 90, 120}, 2,
       {3, 3, 5, hexVolume, hexAStar, hexAStar, .2, .5}, {6, 6, 10, 1859}},
      {"hexagonal, cosines", {3, 3, 5, 0, 0, -.5}, 2,
       {3, 3, 5, hexVolume, hexAStar, hexAStar, .2, .5}, {6, 6, 10, 1859}},
      // alpha*, beta*, gamma* in degrees; qmax 2.1 keeps 3 qmax clear of an integer.
      {"hexagonal, reciprocal in degrees", {hexAStar, hexAStar, .2, 90, 90, 60}, 2.1,
       {3, 3, 5, hexVolume, hexAStar, hexAStar, .2, .5}, {6, 6, 10, 1859}},
      {"blank angles: rectangular", {4, 5, 6, 0, 0, 0}, 1,
       {4, 5, 6, 120, .25, .2, 1. / 6, 0}, {4, 5, 6, 693}},
      {"first value 1.0: direct", {1, 2, 4, 90, 90, 90}, 2, {1, 2, 4, 8, 1, .5, .25, 0},
       {2, 4, 8, 405}},
      {"qmax 0", {4, 4, 4, 90, 90, 90}, 0, {4, 4, 4, 64, .25, .25, .25, 0}, {0, 0, 0, 1}},
      // clang-format on
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const CellGeometry g = buildCellGeometry(c.p, c.qmax);
    const double got[8] = {g.a, g.b, g.c, g.volume, g.aStar, g.bStar, g.cStar, g.cosGammaStar};
    for (int i = 0; i < 8; ++i)
      EXPECT_NEAR(got[i], c.expected[i], 1e-12 * (std::fabs(c.expected[i]) + 1)) << i;
    EXPECT_EQ((std::array<std::int64_t, 4>{g.hmax, g.kmax, g.lmax, g.requiredEntries}), c.limits);
  }
}

TEST(CellGeometry, AngleFormIsDecidedByTheFourthValueAlone) {
  struct Case {
    Params p;
    bool degrees; // all three angles in degrees, else all three cosines
  } cases[] = {
      {{5, 6, 7, 90, 90, 120}, true},
      {{5, 6, 7, 1.0, 90, 90}, true},
      {{5, 6, 7, 90, 0.5, 0.25}, true},
      {{5, 6, 7, 0.5, 0.2, -0.1}, false},
      {{5, 6, 7, 0.999, 1e-17, -1e-300}, false},
      {{5, 6, 7, 0.5, 60, 0}, false},
  };
  for (const Case& c : cases) {
    const CellGeometry g = buildCellGeometry(c.p, 1);
    const double got[3] = {g.cosAlpha, g.cosBeta, g.cosGamma};
    for (int i = 0; i < 3; ++i) // bit for bit: no rounding of cos 90 to 0
      EXPECT_EQ(got[i], c.degrees ? std::cos(c.p[3 + i] * degree) : c.p[3 + i]) << c.p[3];
  }
  EXPECT_NE(buildCellGeometry({4, 4, 4, 90, 90, 90}, 1).cosAlpha, 0.0);
}

TEST(CellGeometry, IndexLimitsTruncateTowardZeroAndSaturate) {
  const std::int64_t wide = (std::int64_t(1) << 32) - 1; // 2 * INT32_MAX + 1
  struct Case {
    Params p;
    double qmax;
    std::array<std::int64_t, 4> limits; // hmax, kmax, lmax, requiredEntries
  } cases[] = {
      {{4, 4, 4, 90, 90, 90}, -1.5, {-6, -6, -6, -605}},
      {{4, 4, 4, 90, 90, 90}, -0.1, {0, 0, 0, 1}},
      {{4, 4, 4, 90, 90, 90}, -0.3, {-1, -1, -1, 0}},
      {{4, 6, 8, 90, 90, 90}, -0.5, {-2, -3, -4, -45}},
      {{4.9999, 4, 4, 90, 90, 90}, 1, {4, 4, 4, 405}},
      // 2 hmax + 1 leaves the 32-bit range; the product still fits 64 bits.
      {{1.5e9, 1, 1, 90, 90, 90}, 1, {1500000000, 1, 1, 18000000006}},
      {{2147483647.0, 1, 1, 90, 90, 90}, 1, {i32max, 1, 1, wide * 6}},
      {{2147483648.0, 1, 1, 90, 90, 90}, 1, {i32max, 1, 1, wide * 6}},
      {{1e12, 4, 4, 90, 90, 90}, -1, {i32min, -4, -4, -wide * 21}},
      {{1e12, 1, 1, 90, 90, 90}, -1, {i32min, -1, -1, 0}},
      {{1e12, 1e12, 1, 90, 90, 90}, 1, {i32max, i32max, 1, i64max}},
      {{1e12, 1e12, 1e12, 90, 90, 90}, 1, {i32max, i32max, i32max, i64max}},
      {{4, 4, 4, 90, 90, 90}, inf, {i32max, i32max, i32max, i64max}},
      {{1e12, 1e12, 1e12, 90, 90, 90}, -1, {i32min, i32min, i32min, i64min}},
  };
  for (const Case& c : cases) {
    const CellGeometry g = buildCellGeometry(c.p, c.qmax);
    EXPECT_EQ((std::array<std::int64_t, 4>{g.hmax, g.kmax, g.lmax, g.requiredEntries}), c.limits)
        << "a=" << c.p[0] << " qmax=" << c.qmax;
  }
}

TEST(CellGeometry, RequiredMemoryLine) {
  struct Case {
    Params p;
    double qmax;
    const char* line;
  } cases[] = {
      // clang-format off
      {{4, 4, 4, 90, 90, 90}, 1.5,
       "\n Required memory size:     6     6     6      1183 (10000000)\n"},
      {{4, 6, 8, 90, 90, 90}, -0.5,
       "\n Required memory size:    -2    -3    -4       -45 (10000000)\n"},
      {{1e12, 1e12, 1, 90, 90, 90}, 1,
       "\n Required memory size:************     1********** (10000000)\n"},
      // clang-format on
  };
  for (const Case& c : cases) {
    char* buffer = nullptr;
    std::size_t size = 0;
    Listing listing(open_memstream(&buffer, &size), "memory");
    writeRequiredMemory(listing, buildCellGeometry(c.p, c.qmax));
    listing.close();
    EXPECT_EQ(std::string(buffer, size), c.line);
    std::free(buffer);
  }
}

TEST(CellGeometry, DescribesCellRefusesWhatIsNoCell) {
  struct Case {
    const char* name;
    Params p;
    bool accepted;
  } cases[] = {
      // clang-format off
      {"cubic", {4, 4, 4, 90, 90, 90}, true},
      {"hexagonal cosines", {3, 3, 5, 0, 0, -0.5}, true},
      {"reciprocal", {.25, .25, .25, 90, 90, 90}, true},
      {"triclinic", {5, 6, 7, 80, 100, 110}, true},
      {"obtuse cosines", {4, 4, 4, -0.3, -0.3, -0.3}, true},
      {"one-degree angle", {4, 4, 4, 1.0, 90, 90}, true},
      {"cosine 90: only the fourth tells degrees", {4, 4, 4, 0.2, 90, 90}, false},
      {"zero edge", {0, 4, 4, 90, 90, 90}, false},  {"edge -1", {4, -1, 4, 90, 90, 90}, false},
      {"NaN edge", {4, 4, nan, 90, 90, 90}, false}, {"inf edge", {inf, 4, 4, 90, 90, 90}, false},
      {"-inf edge", {4, -inf, 4, 90, 90, 90}, false}, {"cosine 1", {4, 4, 4, 0, 0, 1.0}, false},
      {"cosine -1", {4, 4, 4, -1.0, 0, 0}, false},  {"cosine -1.5", {4, 4, 4, 0, -1.5, 0}, false},
      {"0 degrees", {4, 4, 4, 90, 0, 90}, false},   {"180 degrees", {4, 4, 4, 90, 90, 180}, false},
      {"NaN fourth", {4, 4, 4, nan, 0, 0}, false},  {"inf fourth", {4, 4, 4, inf, 90, 90}, false},
      {"NaN degrees", {4, 4, 4, 90, nan, 90}, false}, {"-inf deg.", {4, 4, 4, 90, 90, -inf}, false},
      {"NaN cosine", {4, 4, 4, 0, 0, nan}, false},
      {"flat: zero volume", {4, 4, 4, -0.5, -0.5, -0.5}, false},
      {"angles that close no cell", {4, 4, 4, 30, 30, 90}, false},
      {"cosines that close no cell", {4, 4, 4, 0.9, 0.9, -0.9}, false},
      // clang-format on
  };
  for (const Case& c : cases)
    EXPECT_EQ(describesCell(c.p), c.accepted) << c.name;
}

// A cell given by its reciprocal must come out as the same CellGeometry as the
// direct cell it is the reciprocal of.
TEST(CellGeometry, ReciprocalInputMatchesDirectInput) {
  std::mt19937 rng(20240611);
  for (int trial = 0; trial < 300; ++trial) {
    SCOPED_TRACE(trial);
    Params direct = randomCell(rng);
    if (trial % 2) // half the direct cells given as cosines
      for (int i = 3; i < 6; ++i)
        direct[i] = std::cos(direct[i] * degree);
    const double qmax = uniform(rng, 0.5, 3);
    const CellGeometry d = buildCellGeometry(direct, qmax);
    ASSERT_LT(d.aStar, 1.0);
    const Params recip{d.aStar, d.bStar, d.cStar, d.cosAlphaStar, d.cosBetaStar, d.cosGammaStar};
    ASSERT_TRUE(describesCell(recip));
    const CellGeometry r = buildCellGeometry(recip, qmax);
    const auto want = fields(d), got = fields(r);
    for (std::size_t i = 0; i < want.size(); ++i)
      EXPECT_NEAR(got[i], want[i], 1e-12 * (std::fabs(want[i]) + 1)) << "field " << i;
    // Limits agree unless a length times qmax lies at an integer to rounding.
    bool clear = true;
    for (double length : {d.a, d.b, d.c})
      clear = clear && std::fabs(length * qmax - std::round(length * qmax)) > 1e-9;
    if (clear) {
      EXPECT_EQ(r.hmax, d.hmax);
      EXPECT_EQ(r.kmax, d.kmax);
      EXPECT_EQ(r.lmax, d.lmax);
      EXPECT_EQ(r.requiredEntries, d.requiredEntries);
    }
  }
}

// Volume, reciprocal cell and both quadratic forms against vectors built in
// Cartesian space, for direct and reciprocal input.
TEST(CellGeometry, AgreesWithCartesianVectors) {
  std::mt19937 rng(77);
  const Vec none{0, 0, 0};
  for (int trial = 0; trial < 200; ++trial) {
    SCOPED_TRACE(trial);
    CellGeometry g = buildCellGeometry(randomCell(rng), 1);
    if (trial % 2)
      g = buildCellGeometry(
          {g.aStar, g.bStar, g.cStar, g.cosAlphaStar, g.cosBetaStar, g.cosGammaStar}, 1);
    const auto [a, b, c] = cartesianEdges(g);
    const double volume = dot(a, cross(b, c));
    EXPECT_NEAR(g.volume, volume, 1e-12 * volume);
    const Vec as = combine(1 / volume, cross(b, c), 0, none, 0, none);
    const Vec bs = combine(1 / volume, cross(c, a), 0, none, 0, none);
    const Vec cs = combine(1 / volume, cross(a, b), 0, none, 0, none);
    EXPECT_NEAR(g.aStar, std::sqrt(dot(as, as)), 1e-12);
    EXPECT_NEAR(g.bStar, std::sqrt(dot(bs, bs)), 1e-12);
    EXPECT_NEAR(g.cStar, std::sqrt(dot(cs, cs)), 1e-12);
    EXPECT_NEAR(g.cosAlphaStar, dot(bs, cs) / (g.bStar * g.cStar), 1e-12);
    EXPECT_NEAR(g.cosBetaStar, dot(as, cs) / (g.aStar * g.cStar), 1e-12);
    EXPECT_NEAR(g.cosGammaStar, dot(as, bs) / (g.aStar * g.bStar), 1e-12);
    for (int i = 0; i < 5; ++i) {
      const double dx = uniform(rng, -2, 2), dy = uniform(rng, -2, 2), dz = uniform(rng, -2, 2);
      const Vec r = combine(dx, a, dy, b, dz, c);
      EXPECT_NEAR(directDistance(g, dx, dy, dz), std::sqrt(dot(r, r)), 1e-12 * (dot(r, r) + 1));
      const int h = int(rng() % 21) - 10, k = int(rng() % 21) - 10, l = int(rng() % 11);
      const Vec s = combine(h, as, k, bs, l, cs);
      EXPECT_NEAR(recipLengthSquared(g, h, k, l), dot(s, s), 1e-12 * (dot(s, s) + 1));
    }
  }
}

// Every formula is evaluated in one fixed order, so that results can be
// reproduced digit for digit by an independent evaluation.
TEST(CellGeometry, FormulasFollowTheirEvaluationOrder) {
  std::mt19937 rng(5);
  for (int trial = 0; trial < 50; ++trial) {
    const Params p = randomCell(rng);
    const CellGeometry g = buildCellGeometry(p, 1);
    const double ca = std::cos(p[3] * degree), cb = std::cos(p[4] * degree),
                 cg = std::cos(p[5] * degree);
    const double sa = std::sqrt(1 - ca * ca), sb = std::sqrt(1 - cb * cb),
                 sg = std::sqrt(1 - cg * cg);
    const double volume =
        p[0] * p[1] * p[2] * std::sqrt((((1 - ca * ca) - cb * cb) - cg * cg) + 2 * ca * cb * cg);
    EXPECT_EQ(g.volume, volume);
    EXPECT_EQ(g.aStar, p[1] * p[2] * sa / volume);
    EXPECT_EQ(g.bStar, p[0] * p[2] * sb / volume);
    EXPECT_EQ(g.cStar, p[0] * p[1] * sg / volume);
    EXPECT_EQ(g.cosBetaStar, (ca * cg - cb) / (sg * sa));
    EXPECT_EQ(g.recipMetric[3], 2 * g.aStar * g.bStar * g.cosGammaStar);
    EXPECT_EQ(g.directMetric[5], 2 * g.b * g.c * g.cosAlpha);

    const auto& G = g.directMetric;
    const auto& m = g.recipMetric;
    for (int i = 0; i < 20; ++i) {
      const double dx = uniform(rng, -1, 1), dy = uniform(rng, -1, 1), dz = uniform(rng, -1, 1);
      EXPECT_EQ(directDistance(g, dx, dy, dz),
                std::sqrt((G[0] * (dx * dx) + (G[1] * dy + G[3] * dx) * dy) +
                          ((G[2] * dz + G[5] * dy) + G[4] * dx) * dz));
      const double h = int(rng() % 41) - 20, k = int(rng() % 41) - 20, l = int(rng() % 21);
      const double expected =
          (m[0] * h + m[3] * k + m[4] * l) * h + ((m[1] * k + m[5] * l) * k + m[2] * l * l);
      EXPECT_EQ(recipLengthSquared(g, h, k, l), expected);
      EXPECT_EQ(recipLengthSquaredInRow(g, h, k, l, recipRowTerm(g, k, l)), expected);
    }
  }
}

} // namespace
} // namespace telva
