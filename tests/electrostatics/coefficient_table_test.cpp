#include "electrostatics/coefficient_table.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <set>
#include <tuple>
#include <vector>

#include "crystal/cell_geometry.hpp"
#include "electrostatics/reference/reference_table.hpp"
#include "electrostatics/sphere_form_factor.hpp"

namespace telva {
namespace {

using Params = std::array<double, 6>;
using Hkl = std::tuple<int, int, int>;

SymOp op(SymOpRow x, SymOpRow y, SymOpRow z) {
  return SymOp{{x, y, z}};
}
const SymOp identity = op({0, 1, 0}, {0, 2, 0}, {0, 3, 0});

// The operations of a sixfold screw axis along c: every rotation mixes x and y
// through a two-term row, so R and its transpose differ (a transposition of the
// reflection action would show).
std::vector<SymOp> sixfoldScrew() {
  return {identity,
          op({0, 1, -2}, {0, 1, 0}, {0.5, 3, 0}),  // x-y, x, z+1/2
          op({0, -2, 0}, {0, 1, -2}, {0, 3, 0}),   // -y, x-y, z
          op({0, -1, 0}, {0, -2, 0}, {0.5, 3, 0}), // -x, -y, z+1/2
          op({0, -1, 2}, {0, -1, 0}, {0, 3, 0}),   // -x+y, -x, z
          op({0, 2, 0}, {0, -1, 2}, {0.5, 3, 0})}; // y, -x+y, z+1/2
}

const Params hexagonal = {4.1, 4.1, 6.3, 90, 90, 120};
const Params triclinic = {5.2, 6.1, 4.7, 81.0, 97.5, 104.0};

const std::vector<Site> generalSites = {{"A1      ", 2.0, 0.5, 0.1234, 0.2345, 0.3456},
                                        {"B1      ", -1.0, 1.0, 0.6789, 0.0321, 0.8765},
                                        {"C1      ", 0.5, 0.25, -0.31, 0.47, 1.12}};

CoefficientTable build(const CellGeometry& g, double radius, double range, int flag,
                       const std::vector<SymOp>& ops, const std::vector<Site>& sites) {
  return referenceCoefficientTable({g, radius, range, flag, ops, sites});
}

// Independent evaluation of one coefficient pair: every site is moved by every
// operation as a position, and the structure factor of the images is summed
// directly, cos and sin of 2 pi h.r', weighted by Z W F(q), over q^2.
std::array<double, 2> reference(const CellGeometry& g, double radius, const std::vector<SymOp>& ops,
                                const std::vector<Site>& sites, int h, int k, int l) {
  const double q2 = recipLengthSquared(g, h, k, l);
  // x = q (2 pi R) in the table's order: the closed form amplifies the rounding
  // of a small x by cancellation.
  const double f = sphereFormFactor(std::sqrt(q2) * (radius * twoPi), smearedChargeType);
  double c = 0, s = 0;
  for (const SymOp& o : ops)
    for (const Site& site : sites) {
      const Position p = applyToPosition(o, site.x, site.y, site.z);
      const double phase = twoPi * (h * p.x + k * p.y + l * p.z);
      c += site.charge * site.W * f * std::cos(phase);
      s += site.charge * site.W * f * std::sin(phase);
    }
  return {c / q2, s / q2};
}

std::vector<Hkl> halfSpace(const CoefficientTable& t) {
  std::vector<Hkl> out;
  forEachHalfSpaceReflection(t.hmax, t.kmax, t.lmax,
                             [&](int h, int k, int l) { out.emplace_back(h, k, l); });
  return out;
}

double largestMagnitude(const std::vector<double>& v) {
  double m = 0;
  for (double x : v)
    m = std::max(m, std::fabs(x));
  return m;
}

// The half space holds one reflection of every Friedel pair, never the origin,
// and is visited in table order (l, then k, then h, each ascending).
TEST(HalfSpace, OneOfEachFriedelPairInTableOrder) {
  CoefficientTable box;
  box.hmax = 2, box.kmax = 3, box.lmax = 2;
  const std::vector<Hkl> visited = halfSpace(box);
  const std::set<Hkl> set(visited.begin(), visited.end());
  EXPECT_EQ(set.size(), visited.size());
  EXPECT_EQ(visited.size(), std::size_t(2 + 3 * 5 + 2 * 5 * 7));
  EXPECT_FALSE(set.count({0, 0, 0}));
  for (int l = -2; l <= 2; ++l)
    for (int k = -3; k <= 3; ++k)
      for (int h = -2; h <= 2; ++h) {
        if (h == 0 && k == 0 && l == 0) continue;
        EXPECT_EQ(set.count({h, k, l}) + set.count({-h, -k, -l}), 1u) << h << k << l;
      }
  for (std::size_t i = 1; i < visited.size(); ++i) {
    const auto [h0, k0, l0] = visited[i - 1];
    const auto [h1, k1, l1] = visited[i];
    EXPECT_LT(box.index(h0, k0, l0), box.index(h1, k1, l1));
  }
}

// Which entries are computed: the half-space member of a pair, never its
// partner nor the origin.
TEST(CoefficientTable, ComputesOnlyTheHalfSpace) {
  const CellGeometry g = buildCellGeometry(hexagonal, 1.0);
  const CoefficientTable t = build(g, 0.8, 1.0, 0, {identity}, {generalSites[0]});
  const auto nonzero = [&](int h, int k, int l) {
    return t.cosinePart(h, k, l) != 0.0 || t.sinePart(h, k, l) != 0.0;
  };
  EXPECT_FALSE(nonzero(0, 0, 0));
  EXPECT_TRUE(nonzero(1, 0, 0));
  EXPECT_FALSE(nonzero(-1, 0, 0));
  EXPECT_TRUE(nonzero(-1, 1, 0));
  EXPECT_TRUE(nonzero(0, -1, 1));
  EXPECT_FALSE(nonzero(2, -1, 0));
}

struct TableCase {
  const char* name;
  Params cell;
  std::vector<SymOp> ops;
  double radius, range;
};

// Every coefficient inside the range equals the structure factor of the
// crystal's images, summed directly; everything outside is zero. With the
// inversion flag (any non-zero value) the sine part vanishes and the cosine
// part doubles.
TEST(CoefficientTable, MatchesDirectStructureFactorSum) {
  const TableCase cases[] = {
      {"hexagonal screw", hexagonal, sixfoldScrew(), 0.9, 1.1},
      {"triclinic identity", triclinic, {identity}, 1.3, 0.9},
      {"triclinic pair",
       triclinic,
       {identity, op({0.5, -1, 0}, {0, 2, 0}, {0.5, -3, 0})},
       0.7,
       0.8},
  };
  for (const TableCase& c : cases) {
    const CellGeometry g = buildCellGeometry(c.cell, c.range);
    for (int flag : {0, 1, -3}) {
      SCOPED_TRACE(testing::Message() << c.name << " flag " << flag);
      const CoefficientTable t = build(g, c.radius, c.range, flag, c.ops, generalSites);
      EXPECT_EQ(t.A.size(), std::size_t(g.requiredEntries));
      const double scale = largestMagnitude(t.A);
      ASSERT_GT(scale, 0.0);
      int inside = 0;
      for (const auto& [h, k, l] : halfSpace(t)) {
        const bool inRange = std::sqrt(recipLengthSquared(g, h, k, l)) <= c.range;
        const auto [a, b] = inRange ? reference(g, c.radius, c.ops, generalSites, h, k, l)
                                    : std::array<double, 2>{0, 0};
        inside += inRange;
        if (flag == 0) {
          EXPECT_NEAR(t.cosinePart(h, k, l), a, 1e-12 * scale) << h << ' ' << k << ' ' << l;
          EXPECT_NEAR(t.sinePart(h, k, l), b, 1e-12 * scale) << h << ' ' << k << ' ' << l;
        } else {
          EXPECT_NEAR(t.cosinePart(h, k, l), 2 * a, 2e-12 * scale) << h << ' ' << k << ' ' << l;
          EXPECT_EQ(t.sinePart(h, k, l), 0.0);
        }
      }
      EXPECT_GT(inside, 10);
    }
  }
}

// The flag stands for the inverted companion x -> -(R x + t) of every listed
// operation: listing the companions explicitly, with the flag clear, gives the
// same cosine part and a sine part that cancels.
TEST(CoefficientTable, InversionFlagEqualsExplicitCompanions) {
  const CellGeometry g = buildCellGeometry(hexagonal, 1.0);
  std::vector<SymOp> withCompanions = sixfoldScrew();
  for (const SymOp& o : sixfoldScrew()) {
    SymOp inverted = o;
    for (SymOpRow& row : inverted.rows)
      row = {-row.translation, -row.code1, -row.code2};
    withCompanions.push_back(inverted);
  }
  const CoefficientTable flagged = build(g, 0.9, 1.0, 1, sixfoldScrew(), generalSites);
  const CoefficientTable explicitly = build(g, 0.9, 1.0, 0, withCompanions, generalSites);
  const double scale = largestMagnitude(flagged.A);
  for (const auto& [h, k, l] : halfSpace(flagged)) {
    EXPECT_NEAR(flagged.cosinePart(h, k, l), explicitly.cosinePart(h, k, l), 1e-12 * scale);
    EXPECT_NEAR(explicitly.sinePart(h, k, l), 0.0, 1e-12 * scale);
  }
}

// One charge Z at the origin under the identity: the coefficient is the bare
// form factor, Z F(q)/q^2, with no sine part.
TEST(CoefficientTable, SingleChargeAtOriginIsTheFormFactor) {
  const CellGeometry g = buildCellGeometry(triclinic, 1.0);
  const double radius = 0.6;
  for (double z : {1.0, -2.5}) {
    const CoefficientTable t = build(g, radius, 1.0, 0, {identity}, {{"X", z, 1.0, 0, 0, 0}});
    for (const auto& [h, k, l] : halfSpace(t)) {
      const double q2 = recipLengthSquared(g, h, k, l);
      const double expected = std::sqrt(q2) > 1.0
                                  ? 0.0
                                  : z * sphereFormFactor(std::sqrt(q2) * (radius * twoPi), 2) / q2;
      EXPECT_NEAR(t.cosinePart(h, k, l), expected, 1e-14 * std::fabs(z) / q2);
      EXPECT_EQ(t.sinePart(h, k, l), 0.0);
    }
  }
}

// The cut-off is inclusive: a reflection whose q equals the range exactly is
// computed, and the same reflection with a range one unit in the last place
// smaller gets zero in both parts.
TEST(CoefficientTable, RangeCutOffIsInclusive) {
  const CellGeometry g = buildCellGeometry(triclinic, 2.0);
  const double q = std::sqrt(recipLengthSquared(g, 2, -1, 1));
  const std::vector<Site> site = {generalSites[0]};
  const CoefficientTable at = build(g, 0.5, q, 0, {identity}, site);
  const CoefficientTable below = build(g, 0.5, std::nextafter(q, 0.0), 0, {identity}, site);
  const auto expected = reference(g, 0.5, {identity}, site, 2, -1, 1);
  EXPECT_NEAR(at.cosinePart(2, -1, 1), expected[0], 1e-14);
  EXPECT_NEAR(at.sinePart(2, -1, 1), expected[1], 1e-14);
  EXPECT_NE(at.cosinePart(2, -1, 1), 0.0);
  EXPECT_EQ(below.cosinePart(2, -1, 1), 0.0);
  EXPECT_EQ(below.sinePart(2, -1, 1), 0.0);
}

// The density is periodic: moving every site by a lattice vector changes no
// coefficient beyond rounding.
TEST(CoefficientTable, LatticeTranslationOfSitesChangesNothing) {
  const CellGeometry g = buildCellGeometry(hexagonal, 1.0);
  std::vector<Site> moved = generalSites;
  const int shifts[][3] = {{1, 0, 0}, {-2, 3, 1}, {0, 0, -4}};
  for (std::size_t i = 0; i < moved.size(); ++i) {
    moved[i].x += shifts[i][0], moved[i].y += shifts[i][1], moved[i].z += shifts[i][2];
  }
  for (int flag : {0, 1}) {
    const CoefficientTable t0 = build(g, 0.9, 1.0, flag, sixfoldScrew(), generalSites);
    const CoefficientTable t1 = build(g, 0.9, 1.0, flag, sixfoldScrew(), moved);
    const double scale = largestMagnitude(t0.A);
    for (const auto& [h, k, l] : halfSpace(t0)) {
      EXPECT_NEAR(t1.cosinePart(h, k, l), t0.cosinePart(h, k, l), 1e-12 * scale);
      EXPECT_NEAR(t1.sinePart(h, k, l), t0.sinePart(h, k, l), 1e-12 * scale);
    }
  }
}

// Without operations or without sites there is no charge: every entry is 0.
TEST(CoefficientTable, NoOperationsOrNoSitesGiveZero) {
  const CellGeometry g = buildCellGeometry(hexagonal, 1.0);
  for (int flag : {0, 1}) {
    const CoefficientTable noOps = build(g, 0.9, 1.0, flag, {}, generalSites);
    const CoefficientTable noSites = build(g, 0.9, 1.0, flag, sixfoldScrew(), {});
    EXPECT_EQ(largestMagnitude(noOps.A), 0.0);
    EXPECT_EQ(largestMagnitude(noOps.B), 0.0);
    EXPECT_EQ(largestMagnitude(noSites.A), 0.0);
    EXPECT_EQ(largestMagnitude(noSites.B), 0.0);
  }
}

} // namespace
} // namespace telva
