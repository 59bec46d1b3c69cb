// The converter's positions and sphere radius through cell lists against the
// searches over every pair they replaced: the same positions, the same
// shortest distance bit for bit (the default R is 0.45 times it, rounded
// down), the same closest pair and the same warnings in the same order, on
// random cells built to meet the lists' edges (coordinates 0 and 1, sites on
// one position, partial occupancies, special positions, oblique cells).
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>

#include "cif/conversion.hpp"

namespace telva {
namespace {

// The searches as the converter made them before the cell lists: every site
// against every image of every position found before it, and the n x n
// matrix of nearest distances.
std::vector<std::vector<std::size_t>> membersByAllPairs(const CifCrystal& crystal,
                                                        const std::vector<MatrixOp>& group,
                                                        const std::array<double, 6>& lattice) {
  const CellGeometry cell = buildCellGeometry(lattice, 0);
  std::vector<std::vector<Position>> images;
  std::vector<std::vector<std::size_t>> members;
  for (std::size_t i = 0; i < crystal.sites.size(); ++i) {
    const CifSite& s = crystal.sites[i];
    const Position p{s.x, s.y, s.z};
    std::size_t same = 0;
    for (; same < images.size(); ++same) {
      bool found = false;
      for (const Position& q : images[same])
        found = found || nearestImageDistance(cell, p, q) < samePointToleranceA;
      if (found) break;
    }
    if (same == images.size()) {
      images.push_back(distinctImages(group, p, cell, samePointToleranceA));
      members.emplace_back();
    }
    members[same].push_back(i);
  }
  return members;
}

struct RadiusChoice {
  double radius = 0, shortest = 0;
  std::string pair;
  std::vector<std::string> warnings;
};

RadiusChoice radiusByAllPairs(const std::vector<CellPosition>& positions,
                              const std::vector<std::string>& labels,
                              const std::array<double, 6>& lattice, std::optional<double> given) {
  const std::size_t n = positions.size();
  const CellGeometry g = buildCellGeometry(lattice, 0);
  std::vector<std::vector<double>> nearest(n, std::vector<double>(n, INFINITY));
  for (std::size_t i = 0; i < n; ++i)
    for (std::size_t j = 0; j < n; ++j)
      for (const Position& q : positions[j].images) {
        const double d = nearestImageDistance(g, positions[i].point, q);
        if (i == j && d < samePointToleranceA) continue;
        nearest[i][j] = std::min(nearest[i][j], d);
      }
  RadiusChoice out;
  double shortest = INFINITY;
  for (std::size_t i = 0; i < n; ++i)
    for (std::size_t j = i; j < n; ++j)
      if (positions[i].charge != 0 && positions[j].charge != 0 && nearest[i][j] < shortest) {
        shortest = nearest[i][j];
        out.pair = labels[i] + "-" + labels[j];
      }
  out.shortest = shortest;
  out.radius = given ? *given : std::floor(radiusFraction * shortest * 1000.0) / 1000.0;
  // The warnings as (kind, i, j, distance): their texts are the converter's.
  auto mark = [&](const char* kind, std::size_t i, std::size_t j, double d) {
    out.warnings.push_back(std::string(kind) + " " + labels[i] + " " + labels[j] + " " +
                           std::to_string(d));
  };
  if (given)
    for (std::size_t i = 0; i < n; ++i)
      for (std::size_t j = 0; j < n; ++j) {
        if (positions[j].charge == 0 || !(nearest[i][j] < out.radius)) continue;
        if (j < i && positions[i].charge != 0 && nearest[j][i] < out.radius) continue;
        mark("inside", i, j, nearest[i][j]);
      }
  for (std::size_t i = 0; i < n; ++i)
    for (std::size_t j = i + 1; j < n; ++j)
      if (positions[i].occupancy < 1 - occupancyTolerance &&
          positions[j].occupancy < 1 - occupancyTolerance && nearest[i][j] < 2 * out.radius)
        mark("split", i, j, nearest[i][j]);
  return out;
}

// The converter's warnings in the reference's terms: which pair and how far.
std::vector<std::string> marks(const std::vector<std::string>& warnings,
                               const std::vector<std::string>& labels) {
  std::vector<std::string> out;
  for (const std::string& w : warnings) {
    const bool split = w.rfind("the partial positions ", 0) == 0;
    std::size_t first = 0, second = 0;
    for (std::size_t k = 0; k < labels.size(); ++k) {
      const std::string& l = labels[k];
      if (split ? w.find("positions " + l + " and") != std::string::npos
                : w.find(" A, " + l + " lies") != std::string::npos)
        first = k;
      if (split ? w.find("and " + l + " lie") != std::string::npos
                : (w.find(" A from " + l + ",") != std::string::npos ||
                   w.find("another " + l + " atom") != std::string::npos))
        second = k;
    }
    out.push_back((split ? "split " : "inside ") + labels[first] + " " + labels[second]);
  }
  return out;
}

std::vector<MatrixOp> group(std::initializer_list<const char*> texts) {
  std::vector<MatrixOp> out;
  for (const char* t : texts)
    out.push_back(parseTriplet(t));
  return out;
}

TEST(NearPositions, PositionsAndRadiusAsTheSearchOverAllPairs) {
  struct Setting {
    std::array<double, 6> lattice;
    std::vector<MatrixOp> group;
  };
  const Setting settings[] = {
      {{9, 10, 11, 90, 90, 90}, group({"x,y,z"})},
      {{6.5, 7.5, 8.5, 72, 83, 104}, group({"x,y,z", "-x,-y,-z"})},
      {{7, 7, 9, 90, 90, 90},
       group({"x,y,z", "-x,-y,z", "-y,x,z", "y,-x,z", "-x,-y,-z", "x,y,-z", "y,-x,-z", "-y,x,-z"})},
      {{8, 8, 8, 90, 90, 120}, group({"x,y,z", "-y,x-y,z", "-x+y,-x,z"})},
  };
  std::mt19937 rng(11);
  std::uniform_real_distribution<double> unit(0, 1);
  const double special[] = {0.0, 1.0, 0.5, 0.25, 1.0 / 3, 2.0 / 3};
  auto coordinate = [&] { return unit(rng) < 0.35 ? special[int(unit(rng) * 6) % 6] : unit(rng); };
  int cases = 0;
  for (const Setting& setting : settings)
    for (int count : {2, 9, 40}) {
      CifCrystal crystal;
      crystal.cell = setting.lattice;
      std::vector<double> charges;
      for (int k = 0; k < count; ++k) {
        std::string label = "S";
        label += std::to_string(k); // not "S" + ...: GCC 12 warns of that falsely (-Wrestrict)
        const double charge = unit(rng) < 0.15 ? 0.0 : (k % 2 ? -1.0 : 2.0);
        const Position p{coordinate(), coordinate(), coordinate()};
        if (k % 7 == 3) {
          // Two species sharing one position half each, the second written
          // one cell over.
          crystal.sites.push_back({label, "A", "Fe", p.x, p.y, p.z, 0.5});
          crystal.sites.push_back({label + "b", "B", "Mg", p.x + 1, p.y, p.z - 1, 0.5});
          charges.insert(charges.end(), {charge, charge});
        } else {
          crystal.sites.push_back({label, "A", "Fe", p.x, p.y, p.z, k % 5 == 1 ? 0.4 : 1.0});
          charges.push_back(charge);
        }
      }
      std::vector<std::string> notes;
      std::vector<CellPosition> positions;
      try {
        positions = cellPositions(crystal, charges, setting.group, setting.lattice, notes);
      } catch (const CifError&) {
        continue; // random sites that meet on one orbit past occupancy 1
      }
      const auto members = membersByAllPairs(crystal, setting.group, setting.lattice);
      ASSERT_EQ(positions.size(), members.size());
      for (std::size_t i = 0; i < positions.size(); ++i)
        EXPECT_EQ(positions[i].members, members[i]);
      std::vector<std::string> labels;
      for (std::size_t i = 0; i < positions.size(); ++i)
        labels.push_back(std::string("P").append(std::to_string(i)));
      for (std::optional<double> given :
           {std::optional<double>{}, std::optional<double>{0.8}, std::optional<double>{3.0}}) {
        const RadiusChoice want = radiusByAllPairs(positions, labels, setting.lattice, given);
        if (!given && !(std::isfinite(want.shortest) && want.shortest >= 0.1))
          continue; // refused either way
        ConversionOptions options;
        options.radius = given;
        Conversion out;
        out.lattice = setting.lattice;
        const double radius = chooseRadius(positions, labels, setting.lattice, options, out);
        EXPECT_EQ(radius, want.radius);
        if (std::isfinite(want.shortest)) {
          EXPECT_EQ(out.shortestDistance, want.shortest);
          EXPECT_EQ(out.closestPair, want.pair);
        }
        std::vector<std::string> wanted;
        for (const std::string& w : want.warnings)
          wanted.push_back(w.substr(0, w.rfind(' ')));
        EXPECT_EQ(marks(out.warnings, labels), wanted);
        ++cases;
      }
    }
  EXPECT_GE(cases, 20);
}

} // namespace
} // namespace telva
