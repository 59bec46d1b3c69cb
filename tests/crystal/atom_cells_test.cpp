#include "crystal/atom_cells.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "base/fault.hpp"

namespace telva {
namespace {

SymOp op(double t1, AxisCode a1, AxisCode b1, double t2, AxisCode a2, AxisCode b2, double t3,
         AxisCode a3, AxisCode b3) {
  return SymOp{{SymOpRow{t1, a1, b1}, SymOpRow{t2, a2, b2}, SymOpRow{t3, a3, b3}}};
}

const SymOp identity = op(0, 1, 0, 0, 2, 0, 0, 3, 0);

// Rock salt in Fm-3m reduced to what the test needs: the F centring and the
// inversion, with Na on 4a and Cl on 4b (each image 2x8 = 16 fold, W = 4/8).
Crystal rockSaltCentred() {
  Crystal c;
  c.lattice = {5.64, 5.64, 5.64, 90, 90, 90};
  c.symOps = {identity, op(0, 1, 0, .5, 2, 0, .5, 3, 0), op(.5, 1, 0, 0, 2, 0, .5, 3, 0),
              op(.5, 1, 0, .5, 2, 0, 0, 3, 0)};
  c.inversionAtOrigin = true;
  c.sites = {{"Na      ", 1, 0.5, 0, 0, 0}, {"Cl      ", -1, 0.5, .5, .5, .5}};
  return c;
}

// A triclinic P1 cell of random atoms, some with coordinates outside [0, 1).
Crystal triclinic() {
  Crystal c;
  c.lattice = {4.1, 5.3, 6.7, 71, 83, 102};
  c.symOps = {identity};
  std::mt19937 rng(7);
  std::uniform_real_distribution<double> u(-1.2, 1.8);
  for (int i = 0; i < 9; ++i)
    c.sites.push_back(
        {std::string(1, char('A' + i)), double(i % 3) - 1, 1, u(rng), u(rng), u(rng)});
  return c;
}

// A flat cell: two short edges and one long one, with two operations.
Crystal flat() {
  Crystal c;
  c.lattice = {2.5, 2.5, 40, 90, 90, 120};
  c.symOps = {identity, op(0, -1, 0, 0, -2, 0, .5, 3, 0)};
  c.sites = {{"A", 2, 1, 1.0 / 3, 2.0 / 3, 0.1}, {"B", -2, 1, 0, 0, 0.3}};
  return c;
}

// Every image within r of the point by brute force over wide lattice shifts,
// coincident images of a site merged: (site, rounded distance) -> charge.
std::map<std::pair<int, long long>, double> bruteForce(const Crystal& c, const Vec3& point,
                                                       double r) {
  const CellFrame frame = cellFrame(buildCellGeometry(c.lattice, 0.0));
  // (site, position) -> (distance, charge)
  std::map<std::tuple<int, long long, long long, long long>, std::pair<double, double>> byPosition;
  for (int s = 0; s < int(c.sites.size()); ++s) {
    const Site& site = c.sites[s];
    std::vector<Position> images;
    for (const SymOp& o : c.symOps) {
      const Position p = applyToPosition(o, site.x, site.y, site.z);
      images.push_back(p);
      if (c.inversionAtOrigin) images.push_back({-p.x, -p.y, -p.z});
    }
    for (const Position& p : images)
      for (int i = -30; i <= 30; ++i)
        for (int j = -30; j <= 30; ++j)
          for (int k = -6; k <= 6; ++k) {
            const Vec3 x = toCartesian(frame, {p.x + i, p.y + j, p.z + k});
            const double d = std::hypot(x[0] - point[0], x[1] - point[1], x[2] - point[2]);
            if (d > r) continue;
            const auto key = std::make_tuple(s, std::llround(x[0] * 1e5), std::llround(x[1] * 1e5),
                                             std::llround(x[2] * 1e5));
            byPosition[key].first = d;
            byPosition[key].second += site.charge * site.W;
          }
  }
  std::map<std::pair<int, long long>, double> result;
  for (const auto& [key, value] : byPosition)
    result[{std::get<0>(key), std::llround(value.first * 1e4)}] += value.second;
  return result;
}

struct SearchCase {
  std::string name;
  Crystal crystal;
  double reach;
  std::vector<Position> points; // fractional, inside the cell or not
};

TEST(AtomCells, FindsEveryImageThatBruteForceFinds) {
  const std::vector<SearchCase> cases = {
      {"rock salt, centred with inversion",
       rockSaltCentred(),
       6.0,
       {{0, 0, 0}, {0.25, 0.25, 0.25}, {-1.3, 2.7, 0.1}, {0.999999, 0.5, 1e-9}}},
      {"triclinic P1", triclinic(), 7.5, {{0.1, 0.2, 0.3}, {2.5, -3.25, 0.75}, {1, 1, 1}}},
      {"flat hexagonal", flat(), 9.0, {{0.5, 0.5, 0.5}, {0, 0, 0.3}, {0.2, -4, 1.2}}},
      {"reach far beyond a small cell", rockSaltCentred(), 13.0, {{0.1, 0.2, 0.3}}},
  };
  for (const SearchCase& c : cases) {
    SCOPED_TRACE(c.name);
    const AtomCells cells = buildAtomCells(c.crystal, c.reach);
    EXPECT_EQ(atomImageCount(c.crystal, c.reach), std::int64_t(cells.images.size()));
    for (const Position& f : c.points) {
      for (double r : {c.reach, c.reach * 0.4}) {
        const Vec3 point = cartesianPoint(cells, f);
        const auto expected = bruteForce(c.crystal, point, r);
        std::map<std::pair<int, long long>, double> found;
        double last = 0;
        for (const AtomHit& hit : atomsWithin(cells, point, r)) {
          EXPECT_GE(hit.distance, last); // nearest first
          last = hit.distance;
          EXPECT_NEAR(std::hypot(hit.r[0] - point[0], hit.r[1] - point[1], hit.r[2] - point[2]),
                      hit.distance, 1e-9);
          found[{hit.site, std::llround(hit.distance * 1e4)}] += hit.charge;
        }
        ASSERT_EQ(found.size(), expected.size()) << "r = " << r;
        for (const auto& [key, charge] : expected) {
          ASSERT_TRUE(found.count(key)) << "site " << key.first << " at " << key.second * 1e-4;
          EXPECT_NEAR(found[key], charge, 1e-12);
        }
      }
    }
  }
}

TEST(AtomCells, MergesImagesOnSpecialPositions) {
  const CellFrame frame = cellFrame(buildCellGeometry(rockSaltCentred().lattice, 0.0));
  const std::vector<AtomImage> atoms = cellAtoms(rockSaltCentred(), frame);
  // Four Na and four Cl, each of the full charge (16 images of W = 1/2 ... merged
  // in pairs by the inversion, the centring giving the four positions).
  ASSERT_EQ(atoms.size(), 8u);
  for (int i = 0; i < 8; ++i) {
    EXPECT_EQ(atoms[i].site, i / 4);
    EXPECT_DOUBLE_EQ(atoms[i].charge, i < 4 ? 1.0 : -1.0);
    for (int k = 0; k < 3; ++k) {
      EXPECT_GE(atoms[i].r[k], 0.0);
      EXPECT_LT(atoms[i].r[k], 5.64);
    }
  }
}

TEST(AtomCells, NearestAtomWithinReachAndBeyond) {
  // One atom in a large cell: most points have nothing within a small reach.
  Crystal lone;
  lone.lattice = {20, 30, 25, 90, 100, 90};
  lone.symOps = {identity};
  lone.sites = {{"Q", 3, 1, 0.1, 0.1, 0.1}};
  const struct {
    std::string name;
    Crystal crystal;
    double reach;
  } cases[] = {{"rock salt", rockSaltCentred(), 3.0},
               {"triclinic", triclinic(), 2.0},
               {"lone atom", lone, 1.0}};
  std::mt19937 rng(11);
  std::uniform_real_distribution<double> u(-2, 3);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const AtomCells cells = buildAtomCells(c.crystal, c.reach);
    const AtomCells wide = buildAtomCells(c.crystal, 40.0);
    for (int n = 0; n < 20; ++n) {
      const Vec3 point = cartesianPoint(cells, {u(rng), u(rng), u(rng)});
      const auto hit = nearestAtom(cells, point);
      const auto all = atomsWithin(wide, point, 40.0);
      ASSERT_TRUE(hit.has_value());
      ASSERT_FALSE(all.empty());
      EXPECT_NEAR(hit->distance, all.front().distance, 1e-9);
      EXPECT_NEAR(std::hypot(hit->r[0] - point[0], hit->r[1] - point[1], hit->r[2] - point[2]),
                  hit->distance, 1e-9);
    }
  }
  Crystal empty = lone;
  empty.sites.clear();
  EXPECT_FALSE(nearestAtom(buildAtomCells(empty, 2.0), {1, 2, 3}).has_value());
}

TEST(AtomCells, FrameRoundTripsAndRefusesABadReach) {
  const CellFrame frame = cellFrame(buildCellGeometry(triclinic().lattice, 0.0));
  const Position f{0.3, -1.7, 2.2};
  const Position back = toFractional(frame, toCartesian(frame, f));
  EXPECT_NEAR(back.x, f.x, 1e-14);
  EXPECT_NEAR(back.y, f.y, 1e-14);
  EXPECT_NEAR(back.z, f.z, 1e-14);
  // Edge lengths and the angle between a and b as given.
  EXPECT_NEAR(std::hypot(frame.edges[1][0], frame.edges[1][1], frame.edges[1][2]), 5.3, 1e-12);
  EXPECT_NEAR(frame.edges[1][0] / 5.3, std::cos(102 * M_PI / 180), 1e-12);
  const AtomCells cells = buildAtomCells(triclinic(), 3.0);
  EXPECT_THROW(atomsWithin(cells, {0, 0, 0}, 3.5), Fault);
  EXPECT_THROW(atomsWithin(cells, {0, 0, 0}, NAN), Fault);
  EXPECT_NO_THROW(atomsWithin(cells, {0, 0, 0}, 3.0));
  // A reach that takes in more images than any memory holds.
  EXPECT_GT(atomImageCount(triclinic(), 1e5), std::int64_t(1e14));
  try {
    buildAtomCells(triclinic(), 1e5);
    ADD_FAILURE() << "1e15 images accepted";
  } catch (const Fault& fault) {
    EXPECT_EQ(fault.number, faults::outOfMemory);
  }
  for (double reach : {0.0, -1.0, double(NAN), double(INFINITY)}) {
    try {
      buildAtomCells(triclinic(), reach);
      ADD_FAILURE() << "reach " << reach << " accepted";
    } catch (const Fault& fault) {
      EXPECT_EQ(fault.number, faults::invalidValue);
      EXPECT_NE(fault.text.find("reach"), std::string::npos);
    }
  }
}

} // namespace
} // namespace telva
